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
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

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

#if defined(__SSE2__)
// Four points side by side, for the cross search and the bit sampling: lane
// k of every vector belongs to point k and goes through the same float
// operations as bilinear_mix gives a point on its own.

// Two neighbouring pixels, the left one in the low byte.
inline int pixel_pair(const uint8_t *p)
{
    uint16_t pair;
    memcpy(&pair, p, sizeof pair);
    return pair;
}

// bilinear_mix in every lane, of the 2 x 2 pixels whose top-left pixel is
// q[k], in rows `width` bytes apart.
inline __m128 bilinear_mix_four(const uint8_t *const *q, int64_t width, __m128 fx, __m128 rx,
                                __m128 fy, __m128 ry)
{
    // Each pair in the low half of a 32-bit lane: the left pixel in the low
    // byte, the right one in the next.
    __m128i top = _mm_setzero_si128(), bottom = _mm_setzero_si128();
    top = _mm_insert_epi16(top, pixel_pair(q[0]), 0);
    top = _mm_insert_epi16(top, pixel_pair(q[1]), 2);
    top = _mm_insert_epi16(top, pixel_pair(q[2]), 4);
    top = _mm_insert_epi16(top, pixel_pair(q[3]), 6);
    bottom = _mm_insert_epi16(bottom, pixel_pair(q[0] + width), 0);
    bottom = _mm_insert_epi16(bottom, pixel_pair(q[1] + width), 2);
    bottom = _mm_insert_epi16(bottom, pixel_pair(q[2] + width), 4);
    bottom = _mm_insert_epi16(bottom, pixel_pair(q[3] + width), 6);
    const __m128i low_byte = _mm_set1_epi32(0xff);
    const __m128 p00 = _mm_cvtepi32_ps(_mm_and_si128(top, low_byte));
    const __m128 p10 = _mm_cvtepi32_ps(_mm_srli_epi32(top, 8));
    const __m128 p01 = _mm_cvtepi32_ps(_mm_and_si128(bottom, low_byte));
    const __m128 p11 = _mm_cvtepi32_ps(_mm_srli_epi32(bottom, 8));
    const __m128 upper = _mm_add_ps(_mm_mul_ps(p10, fx), _mm_mul_ps(p00, rx));
    const __m128 lower = _mm_add_ps(_mm_mul_ps(p11, fx), _mm_mul_ps(p01, rx));
    return _mm_add_ps(_mm_mul_ps(lower, fy), _mm_mul_ps(ry, upper));
}
#endif

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
// quadrant_score gives for its point; several are computed side by side
// (find_crosses.cpp).  The caller owns both arrays.
void quadrant_scores(const page_state &page, const point_f64 *points, uint32_t count, float *scores);

#endif
