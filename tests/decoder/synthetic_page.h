// synthetic_page.h - ideal pages drawn straight into a page record, for the
// unit tests of the cross search, the bit sampling and the error correction.
//
// A page is drawn at a whole number of input pixels per page pixel (`scale`)
// with a white margin of `margin` input pixels around it: page pixel (px, py)
// covers input pixels margin + scale * px .. margin + scale * px + scale - 1.
// The geometry fields are set to what an exact corner search would give.
#ifndef TESTS_DECODER_SYNTHETIC_PAGE_H
#define TESTS_DECODER_SYNTHETIC_PAGE_H

#include "page_state.h"

#include <memory>
#include <vector>

struct test_page {
    page_state page; // image, work and search_area point below
    std::vector<uint8_t> image, work;
    std::vector<float> search;
    uint32_t scale, margin;
};

// A white page record of the given size with all buffers allocated and
// every other field zero.
std::unique_ptr<test_page> make_test_page(uint32_t width, uint32_t height);

// An empty page image (frame, crosses, black label strip) at `scale`, with
// the data words of the codewords k = 0, 1, ... of `data_words` placed on it
// (the rest of the page white), and the geometry of an exact corner search:
// corners, bounds, bit sizes, unit axes, chalf, quadrant_half, search area,
// and the levels (set_levels).
std::unique_ptr<test_page> draw_test_page(uint32_t scale, uint32_t margin,
                                          const std::vector<uint32_t> &data_words);

// The histogram of the image as it is now, and fill_cutlevel 128 (halfway
// between the drawing's black and white), as find_levels would leave them.
void set_levels(test_page &t);

// Cross centres where the drawing put them, and every cross cutlevel 128.
void set_exact_crosses(test_page &t);

// Input pixel (column, row) of data-area pixel (x, y) at the given scale:
// the top-left input pixel of the page pixel.
void data_pixel_origin(const test_page &t, int32_t x, int32_t y, int64_t *column, int64_t *row);

#endif
