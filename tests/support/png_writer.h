// png_writer.h - PNG files of any colour type and bit depth for tests.
//
// write_png takes a grey picture, one byte per pixel (0 black, 255 white),
// and stores it through libpng in the colour type and bit depth asked for:
// grey levels are scaled to the depth (v >> (8 - depth) below 8 bits, v x 257
// at 16), colour channels all get the grey value, alpha is opaque, a palette
// holds the 2^depth evenly spaced greys.  With the defaults the file is 8-bit
// grey with a gAMA chunk of 1.0, which a reader working in linear light loads
// byte for byte as given.
#ifndef TESTS_SUPPORT_PNG_WRITER_H
#define TESTS_SUPPORT_PNG_WRITER_H

#include <cstdint>
#include <string>
#include <vector>

struct png_options {
    int colour_type = 0;        // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGB+alpha
    int bit_depth = 8;          // 1, 2, 4, 8 or 16, as the colour type allows
    double gamma = 1.0;         // value of the gAMA chunk; 0 writes none
    bool interlaced = false;    // Adam7
    bool transparency = false;  // a tRNS chunk (grey/RGB: black transparent; palette: entry 0)
    bool header_only = false;   // stop after the chunks before the image data
};

// False (with a gtest failure) when the file cannot be written.
bool write_png(const std::string &path, uint32_t width, uint32_t height,
               const std::vector<uint8_t> &grey, const png_options &options = {});

#endif
