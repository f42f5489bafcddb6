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
#include "page_state.h"

#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

size_t pixel_count(const page_state &page)
{
    return (size_t)page.width * page.height;
}

} // namespace

void max_cycle(page_state &page)
{
    const uint32_t w = page.width, h = page.height;
    uint8_t *image = page.image;
    // Right to left and bottom up, so each pixel still sees its neighbour's
    // value from before the pass while working in place.
    for (uint32_t y = 0; y < h; y++) {
        uint8_t *row = image + (size_t)y * w;
        for (uint32_t x = w - 1; x >= 1 && x < w; x--)
            if (row[x - 1] > row[x])
                row[x] = row[x - 1];
    }
    for (uint32_t y = h - 1; y >= 1 && y < h; y--) {
        uint8_t *row = image + (size_t)y * w;
        const uint8_t *above = row - w;
        for (uint32_t x = 0; x < w; x++)
            if (above[x] > row[x])
                row[x] = above[x];
    }
}

void min_cycle(page_state &page)
{
    const uint32_t w = page.width, h = page.height;
    uint8_t *image = page.image;
    // Left to right and top down: the mirror image of max_cycle's order.
    for (uint32_t y = 0; y < h; y++) {
        uint8_t *row = image + (size_t)y * w;
        for (uint32_t x = 0; x + 1 < w; x++)
            if (row[x + 1] < row[x])
                row[x] = row[x + 1];
    }
    for (uint32_t y = 0; y + 1 < h; y++) {
        uint8_t *row = image + (size_t)y * w;
        const uint8_t *below = row + w;
        for (uint32_t x = 0; x < w; x++)
            if (below[x] < row[x])
                row[x] = below[x];
    }
}

void blur_cycle(page_state &page)
{
    const uint32_t w = page.width, h = page.height;
    const uint8_t *in = page.image;
    uint8_t *out = page.work;
    if (w == 0 || h == 0)
        return;
    // The outermost rows and columns have no full neighbourhood and are kept.
    memcpy(out, in, w);
    memcpy(out + (size_t)(h - 1) * w, in + (size_t)(h - 1) * w, w);
    for (uint32_t y = 1; y + 1 < h; y++) {
        const uint8_t *n = in + (size_t)(y - 1) * w, *p = n + w, *s = p + w;
        uint8_t *o = out + (size_t)y * w;
        o[0] = p[0];
        o[w - 1] = p[w - 1];
        for (uint32_t x = 1; x + 1 < w; x++) {
            uint32_t sum = 4 * p[x] + 2 * (n[x] + s[x] + p[x - 1] + p[x + 1])
                           + n[x - 1] + n[x + 1] + s[x - 1] + s[x + 1] + 8;
            o[x] = (uint8_t)(sum >> 4);
        }
    }
    memcpy(page.image, page.work, pixel_count(page));
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
