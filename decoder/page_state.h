// page_state.h - the decoder's map: the per-page record every stage of
// unpaprel reads and writes, the run-wide settings, and one prototype per
// stage in the order the driver calls them.
//
// Image coordinates are continuous: input pixel (i, j) covers the unit square
// from (i, j) to (i + 1, j + 1), x to the right, y downward.  Corners are pixel
// corner points and so whole numbers.  bilinear_sample alone puts the value of
// pixel (i, j) at the point (i, j); callers that hold square coordinates shift
// by half a pixel themselves.
//
//   (0,0) +------+------+--> x
//         | px   | px   |
//         | 0,0  | 1,0  |
//         +------+------+
//         |
//         v y
//
// Buffers: load_png allocates `image` and `work`; estimate_geometry allocates
// `search_area`; the driver frees all three at the end of the page.
#ifndef DECODER_PAGE_STATE_H
#define DECODER_PAGE_STATE_H

#include "page_format.h"

#include <cstdint>
#include <cstdio>

struct point_u64 {
    uint64_t x, y;
};

struct point_f64 {
    double x, y;
};

struct page_corners {
    point_u64 upper_left, upper_right, lower_left, lower_right;
};

struct page_state {
    FILE *scan_file;            // opened by the driver, closed by load_png
    uint32_t width, height;     // of image and work, input pixels
    uint8_t *image;             // the scan, 8-bit grey, 0 black, row-major
    uint8_t *work;              // fill marks, then conditioned copy and debug marks
    uint64_t histogram[256];
    uint8_t average;
    uint8_t cutlevel;           // black/white decision for corners and crosses
    uint8_t fill_cutlevel;      // what counts as white paper for remove_dirt
    page_corners corners;
    uint64_t page_left, page_top, page_right, page_bottom;
    double bit_width, bit_height;       // input pixels per page pixel
    point_f64 horizontal_vector;        // unit vector of the page's x axis
    point_f64 vertical_vector;          // unit vector of the page's y axis
    int32_t chalf;                      // half the correlation window
    int32_t quadrant_half;              // half the scored cross pattern
    float *search_area;                 // (4 chalf + 1)^2 floats
    point_f64 cross_grid[cross_cols][cross_rows];
    float cross_cutlevels[cross_cols][cross_rows];
};

// Settings fixed at start-up from the command line.
struct decoder_settings {
    uint32_t text_height;       // eighth field of the format specification
    int64_t page_height;        // 2218 + text_height, summed in 32 bits
    char *output_base;          // current page file name, then its debug name
    uint32_t page_number;       // page being decoded, from 1
};
extern decoder_settings settings;

// Corner names in the order find_corners searches them.
enum corner_id { corner_found = -1, upper_left_corner = 0, upper_right_corner,
                 lower_left_corner, lower_right_corner };

// Stages, in the order the driver runs them on each page.
// -- input, levels, dirt, corners and geometry --

// -- crosses, conditioning, bit sampling, error correction, payload --

#endif
