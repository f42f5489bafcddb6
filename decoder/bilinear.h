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

#include <cstdint>

// One coordinate of a sampling point, split as bilinear_sample splits it.
struct sample_axis {
    double coordinate;  // the coordinate itself, for the general function
    int64_t cell;       // whole part (floor) when inside
    float fraction;     // coordinate minus its whole part, rounded to float
    bool inside;        // the pixel and its successor lie inside the image
};

// `limit` is the image's width for x, its height for y.  Only coordinates
// above 0 are split here: for 0 itself floor keeps the sign of zero, which
// the whole-number conversion would not.
inline sample_axis split_axis(double coordinate, uint32_t limit)
{
    sample_axis a{coordinate, 0, 0.0f, false};
    if (coordinate > 0 && coordinate < (double)limit - 1) {
        // Floor of a positive number below 2^32; signed conversions are
        // single instructions where unsigned 64-bit ones are not.
        a.cell = (int64_t)coordinate;
        a.fraction = (float)(coordinate - (double)a.cell);
        a.inside = true;
    }
    return a;
}

// The interpolation of bilinear_sample, in the same float operations.
inline float bilinear_mix(float p00, float p10, float p01, float p11, float fx, float fy)
{
    return (p11 * fx + p01 * (1 - fx)) * fy + (1 - fy) * (p10 * fx + p00 * (1 - fx));
}

inline float bilinear_at(const page_state &page, const sample_axis &x, const sample_axis &y)
{
    if (!(x.inside && y.inside))
        return bilinear_sample(page, x.coordinate, y.coordinate);
    const uint8_t *p = page.image + y.cell * (int64_t)page.width + x.cell;
    return bilinear_mix(p[0], p[1], p[page.width], p[page.width + 1], x.fraction, y.fraction);
}

inline float bilinear_at(const page_state &page, double x, double y)
{
    return bilinear_at(page, split_axis(x, page.width), split_axis(y, page.height));
}

#endif
