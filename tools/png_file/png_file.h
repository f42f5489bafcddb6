// png_file.h - a grey picture written as a PNG file of any colour type and
// bit depth, through libpng.
//
// The one PNG writer of the tree outside the decoder: paperscan writes its
// scans with it, and the tests write the decoder's input with it, in every
// colour type, depth, interlacing and gamma the decoder must read.  The
// picture is grey: the caller gives each row as samples at the file's bit
// depth, every colour channel gets the sample, alpha is opaque, and a
// palette holds the 2^depth evenly spaced greys, so a sample is its own
// palette index.
#ifndef TOOLS_PNG_FILE_H
#define TOOLS_PNG_FILE_H

#include <cstdint>

struct png_options {
    int colour_type = 0;       // 0 grey, 2 RGB, 3 palette, 4 grey+alpha, 6 RGB+alpha
    int bit_depth = 8;         // 1, 2, 4, 8 or 16, as the colour type allows
    double gamma = 0.0;        // value of the gAMA chunk; 0 writes none
    bool interlaced = false;   // Adam7
    bool transparency = false; // a tRNS chunk (grey/RGB: black transparent; palette: entry 0)
    bool fast = false;         // zlib level 1 and no row filters: speed over size
    bool header_only = false;  // stop after the chunks before the image data
};

// Fills samples[0 .. width) with row y of `picture`, each below 2^depth.
typedef void png_row_source(const void *picture, uint32_t y, uint16_t *samples);

// Writes a width x height picture to `path`, asking `rows` for every row
// (once for each interlace pass that holds it).  On any failure prints one
// message that starts with `who` (the program's name) and returns false;
// libpng's warnings are printed the same way.
bool write_png_file(const char *path, uint32_t width, uint32_t height, const png_options &options,
                    png_row_source *rows, const void *picture, const char *who);

#endif
