// condition_image.cpp - cleaning and smoothing the scan before the bits are read.
//
// Runs after the cross search, on `image` in place, with `work` as the blur's
// second buffer.  n cycles of a 2 x 2 maximum followed by n cycles of a 2 x 2
// minimum (n about half a bit) lighten dark specks too small to be a bit
// without moving or growing real dark areas; then k cycles of the binomial
// blur 1 2 1 / 2 4 2 / 1 2 1 (k about the area of a bit over 16) smooth the
// print.  At the end `work` holds a copy of the conditioned image: it is the
// canvas of the debug image from here on.  Reads `bit_width`, `bit_height`;
// prints the cycles to standard error.
#include "stage_internals.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

size_t pixel_count(const page_state &page)
{
    return (size_t)page.width * page.height;
}

// A row is changed in place a piece at a time: each piece is computed from
// pixels not yet changed into a local buffer, then copied into the row (a
// whole piece by a copy of fixed length, which the compiler does inline).
// Loops of a fixed length into a local buffer have nothing to fear from
// aliasing and need no remainder, so the compiler turns them into vector
// code; what is left of a row over whole pieces goes pixel by pixel.
constexpr size_t piece_size = 64;

uint8_t larger(uint8_t a, uint8_t b)
{
    return a > b ? a : b;
}

uint8_t smaller(uint8_t a, uint8_t b)
{
    return a < b ? a : b;
}

// The largest of r[i], r[i + 1], a[i], a[i + 1]; likewise the smallest.
uint8_t block_max(const uint8_t *r, const uint8_t *a, size_t i)
{
    return larger(larger(r[i], r[i + 1]), larger(a[i], a[i + 1]));
}

uint8_t block_min(const uint8_t *r, const uint8_t *a, size_t i)
{
    return smaller(smaller(r[i], r[i + 1]), smaller(a[i], a[i + 1]));
}

// Pixels x0 .. x0 + n - 1 of `row` become block(r, o, i) for i = 0 .. n - 1,
// where r and o point into `row` and the other row.
template <uint8_t (*block)(const uint8_t *, const uint8_t *, size_t)>
void block_piece(uint8_t *row, const uint8_t *r, const uint8_t *o, size_t x0, size_t n)
{
    uint8_t out[piece_size];
    if (n == piece_size) {
        for (size_t i = 0; i < piece_size; i++)
            out[i] = block(r, o, i);
        memcpy(row + x0, out, piece_size);
        return;
    }
    for (size_t i = 0; i < n; i++)
        out[i] = block(r, o, i);
    memcpy(row + x0, out, n);
}

// Pixels x0 .. x0 + n - 1 (x0 >= 1) of `row` become the maximum over columns
// x - 1 and x of `row` and `above`.
void max_piece(uint8_t *row, const uint8_t *above, size_t x0, size_t n)
{
    block_piece<block_max>(row, row + x0 - 1, above + x0 - 1, x0, n);
}

// Pieces from the right end leftward: a piece reads column x0 - 1, which
// the pieces to its left have not changed yet.  Column 0 goes last.
void max_row(uint8_t *row, const uint8_t *above, size_t w)
{
    for (size_t end = w; end > 1;) {
        const size_t x0 = end - 1 > piece_size ? end - piece_size : 1;
        max_piece(row, above, x0, end - x0);
        end = x0;
    }
    row[0] = larger(row[0], above[0]);
}

// Pixels x0 .. x0 + n - 1 (x0 + n < width) of `row` become the minimum over
// columns x and x + 1 of `row` and `below`.
void min_piece(uint8_t *row, const uint8_t *below, size_t x0, size_t n)
{
    block_piece<block_min>(row, row + x0, below + x0, x0, n);
}

// The mirror image of max_row: pieces from the left end rightward, the last
// column last.
void min_row(uint8_t *row, const uint8_t *below, size_t w)
{
    for (size_t x0 = 0; x0 + 1 < w; x0 += piece_size) {
        const size_t n = w - 1 - x0 < piece_size ? w - 1 - x0 : piece_size;
        min_piece(row, below, x0, n);
    }
    row[w - 1] = smaller(row[w - 1], below[w - 1]);
}

// (4 P + 2 (N + S + W + E) + NW + NE + SW + SE + 8) / 16 for the pixel at
// column i + 1 of the rows n (north), p and s (south).  The sum is at most
// 16 x 255 + 8 and fits 16 bits, which lets vector code take twice as many
// pixels at once as in 32.
inline uint8_t blurred(const uint8_t *n, const uint8_t *p, const uint8_t *s, size_t i)
{
    uint16_t sum = (uint16_t)(4 * p[i + 1] + 2 * (n[i + 1] + s[i + 1] + p[i] + p[i + 2]) + n[i] +
                              n[i + 2] + s[i] + s[i + 2] + 8);
    return (uint8_t)(sum >> 4);
}

// Columns 1 .. w - 2 of one row of the blur, from image rows n, p and s into
// the row `o` of work.
void blur_row(const uint8_t *n, const uint8_t *p, const uint8_t *s, uint8_t *o, size_t w)
{
    uint8_t out[piece_size];
    size_t x0 = 0;
    for (; x0 + piece_size + 2 <= w; x0 += piece_size) {
        for (size_t i = 0; i < piece_size; i++)
            out[i] = blurred(n + x0, p + x0, s + x0, i);
        memcpy(o + x0 + 1, out, piece_size);
    }
    for (size_t i = x0; i + 2 < w; i++)
        o[i + 1] = blurred(n, p, s, i);
}

} // namespace

// The horizontal and the vertical pass in one sweep: the rows are taken from
// the bottom up, so the row above still holds its values from before the
// cycle, and each pixel becomes the maximum of the 2 x 2 block of which it is
// the lower right pixel.  Row 0 has no row above and takes the maximum over
// itself.
void max_cycle(page_state &page)
{
    const uint32_t w = page.width, h = page.height;
    if (w == 0 || h == 0)
        return;
    for (uint32_t y = h - 1; y >= 1; y--) {
        uint8_t *row = page.image + (size_t)y * w;
        max_row(row, row - w, w);
    }
    max_row(page.image, page.image, w);
}

// The mirror image of max_cycle: rows from the top down, the 2 x 2 block of
// which the pixel is the upper left, the last row over itself.
void min_cycle(page_state &page)
{
    const uint32_t w = page.width, h = page.height;
    if (w == 0 || h == 0)
        return;
    for (uint32_t y = 0; y + 1 < h; y++) {
        uint8_t *row = page.image + (size_t)y * w;
        min_row(row, row + w, w);
    }
    uint8_t *last = page.image + (size_t)(h - 1) * w;
    min_row(last, last, w);
}

// The blurred rows go into `work` and are copied back into `image` a row
// behind: once row y is blurred, no later row reads row y - 1 of the image,
// so that row takes its new value while it is still in the cache.
void blur_cycle(page_state &page)
{
    const uint32_t w = page.width, h = page.height;
    uint8_t *in = page.image;
    uint8_t *out = page.work;
    if (w == 0 || h == 0)
        return;
    // The outermost rows and columns have no full neighbourhood and are kept.
    memcpy(out, in, w);
    memcpy(out + (size_t)(h - 1) * w, in + (size_t)(h - 1) * w, w);
    uint32_t settled = 0; // rows 0 .. settled - 1 of image hold their new values
    for (uint32_t y = 1; y + 1 < h; y++) {
        const uint8_t *n = in + (size_t)(y - 1) * w, *p = n + w, *s = p + w;
        uint8_t *o = out + (size_t)y * w;
        o[0] = p[0];
        o[w - 1] = p[w - 1];
        blur_row(n, p, s, o, w);
        memcpy(in + (size_t)(y - 1) * w, out + (size_t)(y - 1) * w, w);
        settled = y;
    }
    memcpy(in + (size_t)settled * w, out + (size_t)settled * w, (size_t)(h - settled) * w);
}

void condition_image(page_state &page)
{
    // n is a float holding a whole number: the square root is taken in
    // double, rounded to float, and halved and floored in float.
    const float s = (float)sqrt(page.bit_height * page.bit_width);
    const float n = floorf(s * 0.5f);
    if (n != 0)
        fprintf(stderr, "Doing %d cycles of max and %d cycles of min.\n", (int)n, (int)n);
    if (n >= 1) {
        for (int cycle = 1; cycle <= n; cycle++) {
            max_cycle(page);
            fprintf(stderr, "%d ", cycle);
        }
        for (int cycle = 1; cycle <= n; cycle++) {
            min_cycle(page);
            fprintf(stderr, "%d ", cycle);
        }
    }
    if (n != 0)
        fputc('\n', stderr);

    const int32_t k = (int32_t)floor(page.bit_height * page.bit_width * 0.25 * 0.25 + 0.5);
    if (k == 0) {
        memcpy(page.work, page.image, pixel_count(page));
        return;
    }
    fprintf(stderr, "Doing %d cycles of 1 2 1 / 2 4 2 / 1 2 1 blur.\n", k);
    for (int32_t cycle = 1; cycle <= k; cycle++) {
        blur_cycle(page);
        fprintf(stderr, "%d ", cycle);
    }
    fputc('\n', stderr);
}
