// png_writer.h - PNG files of any colour type and bit depth for tests.
//
// write_png takes a grey picture, one byte per pixel (0 black, 255 white),
// and stores it with png_file (tools/png_file) in the colour type and bit
// depth asked for: grey levels are scaled to the depth (v >> (8 - depth)
// below 8 bits, v x 257 at 16), colour channels all get the grey value,
// alpha is opaque, a palette holds the 2^depth evenly spaced greys.  With
// linear_grey_png() (the default) the file is 8-bit grey with a gAMA chunk
// of 1.0, which a reader working in linear light loads byte for byte as
// given.
#ifndef TESTS_SUPPORT_PNG_WRITER_H
#define TESTS_SUPPORT_PNG_WRITER_H

#include "png_file.h"

#include <cstdint>
#include <string>
#include <vector>

// 8-bit grey, gAMA 1.0.
png_options linear_grey_png();

// False (with a gtest failure) when the file cannot be written.
bool write_png(const std::string &path, uint32_t width, uint32_t height,
               const std::vector<uint8_t> &grey, const png_options &options = linear_grey_png());

// 40 x 30 white with a one-pixel black outline from (5, 4) to (34, 25): the
// smallest picture in which the decoder finds four corners.  It holds no
// readable bits.
constexpr uint32_t framed_scan_width = 40, framed_scan_height = 30;
std::vector<uint8_t> framed_scan();

#endif
