// find_levels.cpp - how black the print and how white the paper came out.
//
// Reads `image` as loaded, builds its histogram and iterates a cutting point:
// the pixels darker and brighter than it give a black and a white level (the
// point minus and plus the root mean square distance of each side), and the
// level 10 % of the way from black to white becomes the next cutting point.
// Writes `histogram`, `average`, `cutlevel` (for the corner and cross
// searches) and `fill_cutlevel` (halfway, for the dirt removal), and prints
// one line per pass on standard error.
#include "page_state.h"

#include <cmath>
#include <cstring>

namespace {

constexpr unsigned max_level_passes = 32;

// Four pixels at a time into four separate counter arrays, summed at the
// end: consecutive equal pixels (most of a page is paper) then no longer
// wait on each other's increment of one counter.  32-bit counters are
// enough for the blocks of at most 4 G / 4 pixels between the sums.
void build_histogram(page_state &page)
{
    uint32_t lanes[4][256];
    for (uint64_t &count : page.histogram)
        count = 0;
    const uint8_t *pixel = page.image;
    uint64_t left = (uint64_t)page.width * page.height;
    while (left > 0) {
        uint64_t block = left < ((uint64_t)1 << 32) ? left : ((uint64_t)1 << 32);
        memset(lanes, 0, sizeof lanes);
        uint64_t i = 0;
        for (; i + 4 <= block; i += 4) {
            lanes[0][pixel[i]]++;
            lanes[1][pixel[i + 1]]++;
            lanes[2][pixel[i + 2]]++;
            lanes[3][pixel[i + 3]]++;
        }
        for (; i < block; i++)
            lanes[0][pixel[i]]++;
        for (unsigned v = 0; v < 256; v++)
            page.histogram[v] += (uint64_t)lanes[0][v] + lanes[1][v] + lanes[2][v] + lanes[3][v];
        pixel += block;
        left -= block;
    }
}

// Mean pixel value, halves rounded up.
uint8_t average_value(const page_state &page)
{
    uint64_t sum = 0;
    for (unsigned v = 0; v < 256; v++)
        sum += v * page.histogram[v];
    uint64_t count = (uint64_t)page.width * page.height;
    if (count == 0)
        return 0;
    return (uint8_t)((sum + count / 2) / count);
}

// Root mean square distance from `point` of the pixels with values in
// [first, last), in single precision and in increasing value order, as the
// printed levels depend on it.  NaN when that range holds no pixel.
float rms_distance(const page_state &page, unsigned point, unsigned first, unsigned last)
{
    uint64_t count = 0;
    float sum = 0.0f;
    for (unsigned v = first; v < last; v++) {
        count += page.histogram[v];
        float h = (float)page.histogram[v];
        float d = (float)(v > point ? v - point : point - v);
        sum = sum + (h * d) * d;
    }
    return sqrtf(sum / (float)count);
}

// A not-a-number level prints as "NAN" whatever its sign bit, as on the
// platform these lines were first read on.
double printable(float level)
{
    return std::isnan(level) ? fabs((double)level) : (double)level;
}

// One pass from cutting point g; returns the new cutlevel.
uint8_t level_pass(page_state &page, unsigned g)
{
    float black = (float)g - rms_distance(page, g, 0, g);
    float white = rms_distance(page, g, g + 1, 256) + (float)g;
    float weighted = white * 0.1f + black * 0.9f;
    page.cutlevel = (uint8_t)double_to_int64(floor((double)weighted + 0.5));
    page.fill_cutlevel =
        (uint8_t)double_to_int64(floor((double)white * 0.5 + (double)black * 0.5 + 0.5));
    fprintf(stderr, "Black %G, white %G, cutlevel %u (0x%02x), fill cutlevel %u (0x%02x)\n",
            printable(black), printable(white), page.cutlevel, page.cutlevel, page.fill_cutlevel,
            page.fill_cutlevel);
    return page.cutlevel;
}

} // namespace

int64_t double_to_int64(double value)
{
    // The range test is written so that NaN fails it.
    if (!(value >= -9223372036854775808.0 && value < 9223372036854775808.0))
        return INT64_MIN;
    return (int64_t)value;
}

void find_levels(page_state &page)
{
    build_histogram(page);
    page.average = average_value(page);
    fprintf(stderr, "Average pixel value %u\n", page.average);
    unsigned g = page.average;
    for (unsigned changes = 0;;) {
        if (level_pass(page, g) == g)
            return;
        if (++changes == max_level_passes) {
            fprintf(stderr, "Warning: cutting point analysis didn't converge in %u iterations.\n",
                    max_level_passes);
            return;
        }
        g = page.cutlevel;
    }
}
