// scan_maker.h - ideal scans of paprel pages for the round-trip tests.
//
// A page image (PGM as paprel writes it) is resampled to `scale` input pixels
// per page pixel by area averaging, with a white margin around it: input
// pixel (X, Y) takes the mean of the page over the square it covers, page
// point (u, v) lying at input point (margin + scale u, margin + scale v).
// Scales that are not whole numbers give grey pixels along every edge, as a
// real scanner does.
#ifndef TESTS_ROUNDTRIP_SCAN_MAKER_H
#define TESTS_ROUNDTRIP_SCAN_MAKER_H

#include <cstdint>
#include <string>
#include <vector>

struct grey_image {
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;        // row-major, 0 black, 255 white

    uint8_t &at(uint32_t x, uint32_t y) { return pixels[(size_t)y * width + x]; }
    uint8_t at(uint32_t x, uint32_t y) const { return pixels[(size_t)y * width + x]; }
};

// Reads a binary PGM ("P5", maxval 255, no comments); false on any mismatch.
bool read_pgm(const std::string &path, grey_image *image);

grey_image make_scan(const grey_image &page, double scale, uint32_t margin);

// Paints the input pixels of page pixel (px, py) of a scan made by make_scan
// at a whole-number scale.
void paint_page_pixel(grey_image &scan, uint32_t scale, uint32_t margin, uint32_t px, uint32_t py,
                      uint8_t value);

#endif
