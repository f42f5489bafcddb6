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
#ifndef DECODER_BILINEAR_H
#define DECODER_BILINEAR_H

#include "page_state.h"

#include <cmath>
#include <cstdint>

// floor(v) without a library call for the values the loops meet: a positive
// value below 2^52 truncates to its floor.  Anything else, zero included
// (whose sign floor keeps), goes to floor itself.
inline double floor_of(double v)
{
    return v > 0 && v < 4503599627370496.0 ? (double)(int64_t)v : floor(v);
}

// One coordinate of a sampling point, split as bilinear_sample splits it.
struct sample_axis {
    double coordinate;  // the coordinate itself, for the general function
    int64_t cell;       // whole part (floor) when inside
    float fraction;     // coordinate minus its whole part, rounded to float
    float rest;         // 1 - fraction, in float
    bool inside;        // the pixel and its successor lie inside the image
};

// What the sampling needs of the page, read once for a whole loop of
// samples: writes into `work` between samples would otherwise make the
// compiler read the page's size again for every one.
struct sample_grid {
    const page_state *page;
    const uint8_t *image;
    int64_t width;
    double last_x, last_y;  // width - 1 and height - 1
};

inline sample_grid grid_of(const page_state &page)
{
    return {&page, page.image, (int64_t)page.width, (double)page.width - 1, (double)page.height - 1};
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
inline float bilinear_mix(float p00, float p10, float p01, float p11, float fx, float rx,
                          float fy, float ry)
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

// quadrant_score of `count` points into `scores`, each bit for bit what
// quadrant_score gives for its point; several are computed side by side
// (find_crosses.cpp).  The caller owns both arrays.
void quadrant_scores(const page_state &page, const point_f64 *points, uint32_t count, float *scores);

#endif
