// optics.h - the printed page as the scanner's optics see it.
//
// Model, per page pixel that is black (value below 128):
//   print:  its toner covers the pixel square grown by dot_gain / 2 on every
//           side that borders white (shrunk for a negative gain); overlapping
//           growth saturates, so the toner is the union of the grown squares
//           (the square dilation of the black area; erosion when negative);
//   optics: that toner pattern is blurred by a Gaussian of sigma `blur` and
//           averaged over the area of one scan pixel, a box of 1 / scale by
//           1 / (scale * aspect) page pixels (taken along the page axes);
//   levels: reflectance = paper - (paper - toner) * blurred coverage.
// Both steps are exact for this model: the union of grown squares splits
// into horizontal strips, each a fixed 1-D pattern times a y interval, and a
// separable kernel integrates each strip in closed form (an error-function
// edge).  Only the x direction is tabulated, at 12 samples per page pixel,
// and read with linear interpolation.
#ifndef PAPERSCAN_OPTICS_H
#define PAPERSCAN_OPTICS_H

#include "scan_geometry.h"
#include "scan_options.h"
#include "sheet.h"

#include <cstdint>

// The integral of the 1-D kernel (Gaussian of sigma convolved with a box of
// width box) from minus infinity to t, tabulated.
struct edge_profile {
    float *table; // malloc'd, count entries; table[k] is at t = k / resolution - reach
    uint32_t count;
    double reach;      // the kernel is 0 beyond +-reach
    double resolution; // entries per page pixel
};

bool make_edge_profile(double sigma, double box, edge_profile *profile);
void free_edge_profile(edge_profile *profile);
float edge_at(const edge_profile &profile, double t);

constexpr uint32_t profile_oversampling = 12; // x samples per page pixel

// A page ready for sampling at any point.
struct page_optics {
    edge_profile edge_x, edge_y;
    double half_gain;   // dot_gain / 2, signed
    int32_t pad;        // whole page pixels of tabulated margin left and right
    uint32_t samples;   // per strip: (page_width + 2 * pad) * 12 + 1
    uint32_t strips;    // 2 * page_height + 1
    uint16_t *profiles; // malloc'd, strips x samples, blurred coverage x 65535
    uint8_t *has_toner; // malloc'd, per strip; the profiles of strips without are not filled
};

// Builds the strips of `page` (page_pixels bytes, 0 black) for the dot gain,
// blur and scale of `options`.  Prints a message and returns false when
// memory is short.
bool make_page_optics(const uint8_t *page, const scan_options &options, page_optics *optics);
void free_page_optics(page_optics *optics);

// Blurred toner coverage, 0..1, at page point (u, v).
float coverage_at(const page_optics &optics, double u, double v);

// Fills the whole sheet: paper everywhere, the page through `geometry`.
void render_page(const page_optics &optics, const scan_options &options,
                 const scan_geometry &geometry, sheet *s);

#endif
