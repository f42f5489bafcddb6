// bit_sampling.h - the steps of sampling one channel bit, for the plain and
// the four-lane bit sampling alike.
//
// sample_bit.cpp samples bits one at a time and simd/bit_sampling_sse2.cpp
// four at a time; both find a bit's cell, its centre between the cell's four
// crosses (`cross_grid`) and its cutlevel between their levels
// (`cross_cutlevels`), and both leave the same debug mark, through the
// helpers here, so that a lane and a bit on its own cannot drift apart.
// Nothing here writes to the page.
#ifndef DECODER_BIT_SAMPLING_H
#define DECODER_BIT_SAMPLING_H

#include "bilinear.h"
#include "page_state.h"

#include <array>
#include <cstddef>
#include <cstdint>

// The grid in signed data-area units: the cross pitch, the offset of a
// cross's centre from its top-left pixel (half a cross), and the last cell
// of each axis (cells run between neighbouring crosses).
constexpr int32_t pitch = (int32_t)cross_pitch, centre_offset = (int32_t)chalf;
constexpr int32_t last_cell_column = (int32_t)cross_cols - 2;
constexpr int32_t last_cell_row = (int32_t)cross_rows - 2;

// ((double)d + 0.5) / 24.0 for every offset d = -3 .. 26 of a bit from the
// centre of its cell's first cross, computed once by the same expression.
constexpr int32_t first_offset = -centre_offset, offset_count = pitch + 2 * centre_offset;
constexpr std::array<double, offset_count> make_fractions()
{
    std::array<double, offset_count> fractions{};
    for (int32_t i = 0; i < offset_count; i++)
        fractions[i] = ((double)(i + first_offset) + 0.5) / (double)pitch;
    return fractions;
}
inline constexpr std::array<double, offset_count> cell_fractions = make_fractions();

// Cells run between cross centres; the last cell is stretched over the
// bits right of (below) the centres of the last cross column (row).
inline int32_t cell_of_axis(int32_t v, int32_t last_cell)
{
    if (v < centre_offset)
        return 0;
    const int32_t cell = (v - centre_offset) / pitch;
    return cell < last_cell ? cell : last_cell;
}

inline int32_t cell_column(int32_t x)
{
    return cell_of_axis(x, last_cell_column);
}

inline int32_t cell_row(int32_t y)
{
    return cell_of_axis(y, last_cell_row);
}

// locate_bit_cell for a pixel of the data area, whose offsets all lie in
// the table: no division per bit.
inline bit_cell cell_of(int32_t x, int32_t y)
{
    bit_cell cell;
    cell.cx = cell_column(x);
    cell.cy = cell_row(y);
    cell.fx = cell_fractions[x - pitch * cell.cx - centre_offset - first_offset];
    cell.fy = cell_fractions[y - pitch * cell.cy - centre_offset - first_offset];
    return cell;
}

// The bit's centre in bilinear_sample's coordinates (pixel values at whole
// points), hence the shift by half a pixel.
inline point_f64 position_in(const page_state &page, const bit_cell &cell)
{
    const point_f64 g00 = page.cross_grid[cell.cx][cell.cy];
    const point_f64 g10 = page.cross_grid[cell.cx + 1][cell.cy];
    const point_f64 g01 = page.cross_grid[cell.cx][cell.cy + 1];
    const point_f64 g11 = page.cross_grid[cell.cx + 1][cell.cy + 1];
    const double fx = cell.fx, fy = cell.fy;
    const double top_x = g10.x * fx + g00.x * (1 - fx), top_y = g10.y * fx + g00.y * (1 - fx);
    const double bottom_x = g11.x * fx + g01.x * (1 - fx), bottom_y = g11.y * fx + g01.y * (1 - fx);
    const double x = bottom_x * fy + top_x * (1 - fy);
    const double y = bottom_y * fy + top_y * (1 - fy);
    return {x - 0.5, y - 0.5};
}

inline float interpolated_cutlevel(const page_state &page, const bit_cell &cell)
{
    const float fx = (float)cell.fx, fy = (float)cell.fy;
    const float l00 = page.cross_cutlevels[cell.cx][cell.cy];
    const float l10 = page.cross_cutlevels[cell.cx + 1][cell.cy];
    const float l01 = page.cross_cutlevels[cell.cx][cell.cy + 1];
    const float l11 = page.cross_cutlevels[cell.cx + 1][cell.cy + 1];
    const float top = l10 * fx + l00 * (1 - fx);
    const float bottom = l11 * fx + l01 * (1 - fx);
    return bottom * fy + (1 - fy) * top;
}

// What the samples of a bit need of the page, read once for a whole page of
// bits: the sampling grid, and the steps of one page pixel along the page's
// axes (bit_width x horizontal_vector, bit_height x vertical_vector).
struct bit_sampler {
    sample_grid grid;
    point_f64 across, down;
};

inline bit_sampler sampler_of(const page_state &page)
{
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const double bw = page.bit_width, bh = page.bit_height;
    return {grid_of(page), {bw * h.x, bw * h.y}, {bh * v.x, bh * v.y}};
}

// centre + 7 x (centre - mean of the four neighbours one page pixel away
// along the page's own axes): raises the contrast of a bit against its
// neighbours.  The last step is done in double and stored as float.  The
// label's pixels are sampled the same way (read_label.cpp).
inline float sharpened_sample(const bit_sampler &s, point_f64 p)
{
    const float left = bilinear_at(s.grid, p.x - s.across.x, p.y - s.across.y);
    const float right = bilinear_at(s.grid, p.x + s.across.x, p.y + s.across.y);
    const float below = bilinear_at(s.grid, p.x + s.down.x, p.y + s.down.y);
    const float above = bilinear_at(s.grid, p.x - s.down.x, p.y - s.down.y);
    const float centre = bilinear_at(s.grid, p.x, p.y);
    const float sum = ((left + right) + below) + above;
    const float u = centre + sum * -0.25f;
    return (float)((double)u * 7.0 + (double)centre);
}

// A sampled bit and the debug mark it leaves: the negative of the sample,
// clamped to a byte, for the pixel under the bit, or no mark.  The margin
// is the cutlevel less the sample, in float: positive for a 1 bit, and how
// sure the reading was (--soft weighs it).
struct sampled_bit {
    size_t mark_pixel; // index into `work`, or no_mark
    uint8_t mark_value;
    uint8_t bit;
    float margin;
};
constexpr size_t no_mark = SIZE_MAX;

// Samples are drawn into the debug image along every eighth row and column
// of the data area.
inline bool leaves_mark(int32_t x, int32_t y)
{
    return x % 8 == 0 || y % 8 == 0;
}

inline size_t mark_pixel_of(const page_state &page, point_f64 p)
{
    const double column = floor_of(p.x + 0.5), row = floor_of(p.y + 0.5);
    if (column >= 0 && column < page.width && row >= 0 && row < page.height)
        return (size_t)row * page.width + (size_t)column;
    return no_mark;
}

inline uint8_t mark_value_of(float sample)
{
    const double rounded = floor_of((double)sample + 0.5);
    const int32_t value = !(rounded > 0) ? 0 : rounded >= 255 ? 255 : (int32_t)rounded;
    return (uint8_t)(255 - value);
}

#endif
