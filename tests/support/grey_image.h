// grey_image.h - 8-bit grey pictures for the tests, and their PGM files.
//
// Pages, debug images and rendered sheets are all one byte a pixel, 0 black
// and 255 white, row-major.  PGM files are read and written by pgm_file
// (pageformat), the rule the programs themselves follow.
#ifndef TESTS_SUPPORT_GREY_IMAGE_H
#define TESTS_SUPPORT_GREY_IMAGE_H

#include <cstdint>
#include <string>
#include <vector>

struct grey_image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;

    uint8_t &at(uint32_t x, uint32_t y) { return pixels[(size_t)y * width + x]; }
    uint8_t at(uint32_t x, uint32_t y) const { return pixels[(size_t)y * width + x]; }
};

// Reads a PGM of any size up to 20000 x 20000 (a 600-dpi scan's debug
// image fits); false on any failure or when the file breaks the rule.
bool read_pgm(const std::string &path, grey_image *image);

// Writes `pixels` (width x height bytes) as a PGM file; false (with a gtest
// failure) when it cannot.
bool write_pgm(const std::string &path, uint32_t width, uint32_t height,
               const std::vector<uint8_t> &pixels);

#endif
