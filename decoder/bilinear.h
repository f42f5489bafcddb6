// bilinear.h - bilinear_sample for the loops that take millions of samples.
//
// The cross search and the bit sampling read the image some forty million
// times a page.  bilinear_at gives exactly what bilinear_sample gives (it is
// the same formula on the same float and double values), but inline and
// with whole-number pixel addressing for the usual case of a point whose
// four pixels all lie inside the image.  Points at or beyond the edges,
// negative ones and NaN take the general function.
//
// The cross refinement samples on grids whose columns and rows repeat, so a
// sample can also be put together from a column and a row computed once
// (sample_axis): the same floor, fraction and bounds test, done once per
// coordinate instead of once per sample.
//
// The plain paths of find_crosses.cpp and sample_bit.cpp and their four-lane
// forms in simd/ both build on what is here, so that a lane and a point on
// its own go through the same definitions.
#ifndef DECODER_BILINEAR_H
#define DECODER_BILINEAR_H

#include "page_state.h"

#include <cmath>
#include <cstdint>

// The value of the image at (x, y), interpolated between the four pixels
// around it; the value of pixel (i, j) lies at the point (i, j), and pixels
// outside the image read as 255 (find_crosses.cpp).
float bilinear_sample(const page_state &page, double x, double y);

// floor(v) without a library call for the values the loops meet: a positive
// value below 2^52 truncates to its floor.  Anything else, zero included
// (whose sign floor keeps), goes to floor itself.
inline double floor_of(double v)
{
    return v > 0 && v < 4503599627370496.0 ? (double)(int64_t)v : floor(v);
}

// One coordinate of a sampling point, split as bilinear_sample splits it.
struct sample_axis {
    double coordinate; // the coordinate itself, for the general function
    int64_t cell;      // whole part (floor) when inside
    float fraction;    // coordinate minus its whole part, rounded to float
    float rest;        // 1 - fraction, in float
    bool inside;       // the pixel and its successor lie inside the image
};

// What the sampling needs of the page, read once for a whole loop of
// samples: writes into `work` between samples would otherwise make the
// compiler read the page's size again for every one.
struct sample_grid {
    const page_state *page;
    const uint8_t *image;
    int64_t width;
    double last_x, last_y; // width - 1 and height - 1
};

inline sample_grid grid_of(const page_state &page)
{
    return {&page, page.image, (int64_t)page.width, (double)page.width - 1,
            (double)page.height - 1};
}

// `last` is the image's width (for x) or height (for y) less one.  Only
// coordinates above 0 are split here: for 0 itself floor keeps the sign of
// zero, which the whole-number conversion would not.
inline sample_axis split_axis(double coordinate, double last)
{
    sample_axis a{coordinate, 0, 0.0f, 1.0f, false};
    if (coordinate > 0 && coordinate < last) {
        // Floor of a positive number below 2^32; signed conversions are
        // single instructions where unsigned 64-bit ones are not.
        a.cell = (int64_t)coordinate;
        a.fraction = (float)(coordinate - (double)a.cell);
        a.rest = 1 - a.fraction;
        a.inside = true;
    }
    return a;
}

// The interpolation of bilinear_sample, in the same float operations; rx
// and ry are 1 - fx and 1 - fy.
inline float bilinear_mix(float p00, float p10, float p01, float p11, float fx, float rx, float fy,
                          float ry)
{
    return (p11 * fx + p01 * rx) * fy + ry * (p10 * fx + p00 * rx);
}

inline float bilinear_at(const sample_grid &g, const sample_axis &x, const sample_axis &y)
{
    if (!(x.inside && y.inside))
        return bilinear_sample(*g.page, x.coordinate, y.coordinate);
    const uint8_t *p = g.image + y.cell * g.width + x.cell;
    return bilinear_mix(p[0], p[1], p[g.width], p[g.width + 1], x.fraction, x.rest, y.fraction,
                        y.rest);
}

inline float bilinear_at(const sample_grid &g, double x, double y)
{
    return bilinear_at(g, split_axis(x, g.last_x), split_axis(y, g.last_y));
}

// The cutlevel measurement and the search area sample the image at
// (a·h.x + p.x) + b·v.x, (a·h.y + p.y) + b·v.y for whole offsets a and b
// from a point p along the page axes, four at a time: sample_four_offsets
// (find_crosses.cpp) takes the offsets (a + k·da, b + k·db) for k = 0 .. 3,
// which are whole numbers and so exact.
struct offset_frame {
    point_f64 h, v, p;
};

// Quadrant halves up to this many pixels (scans of up to some 28 input
// pixels per page pixel) split their rows once per score; the tables of
// those scores are sized by it.
constexpr int32_t max_split_half = 64;

// quadrant_score of `count` points into `scores`, each bit for bit what
// quadrant_score gives for its point; groups of four are computed side by
// side where simd/ can (find_crosses.cpp).  The caller owns both arrays.
void quadrant_scores(const page_state &page, const point_f64 *points, uint32_t count,
                     float *scores);

#endif
