// sample_bit.cpp - reading every channel bit of a page, codeword by codeword.
//
// Runs after the crosses are found and the image is conditioned.  For each
// bit it finds the bit's centre by bilinear interpolation between the four
// crosses around it (`cross_grid`), takes a sharpened sample of `image`
// there, compares it with a cutlevel interpolated between the same four
// crosses (`cross_cutlevels`), and hands the bit to receive_bit.  Along every
// eighth row and column of the data area it draws the negative of its samples
// into `work` for the debug image.  Bits are sampled a batch of codewords
// ahead of their receiving (the batch buffer is the only state it keeps).
#include "bilinear.h"
#include "page_state.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

namespace {

// ((double)d + 0.5) / 24.0 for every offset d = -3 .. 26 of a bit from the
// centre of its cell's first cross, computed once by the same expression.
constexpr int32_t first_offset = -3, offset_count = 30;
constexpr std::array<double, offset_count> make_fractions()
{
    std::array<double, offset_count> fractions{};
    for (int32_t i = 0; i < offset_count; i++)
        fractions[i] = ((double)(i + first_offset) + 0.5) / 24.0;
    return fractions;
}
constexpr std::array<double, offset_count> cell_fractions = make_fractions();

// Cells run between cross centres; the last cell is stretched over the
// bits right of (below) the centres of the last cross column (row).
inline int32_t cell_column(int32_t x)
{
    return x < 3 ? 0 : (x - 3) / 24 < 63 ? (x - 3) / 24 : 63;
}

inline int32_t cell_row(int32_t y)
{
    return y < 3 ? 0 : (y - 3) / 24 < 91 ? (y - 3) / 24 : 91;
}

// locate_bit_cell for a pixel of the data area, whose offsets all lie in
// the table: no division per bit.
inline bit_cell cell_of(int32_t x, int32_t y)
{
    bit_cell cell;
    cell.cx = cell_column(x);
    cell.cy = cell_row(y);
    cell.fx = cell_fractions[x - 24 * cell.cx - 3 - first_offset];
    cell.fy = cell_fractions[y - 24 * cell.cy - 3 - first_offset];
    return cell;
}

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

} // namespace

bit_cell locate_bit_cell(int32_t x, int32_t y)
{
    bit_cell cell;
    cell.cx = cell_column(x);
    cell.cy = cell_row(y);
    cell.fx = ((double)(x - 24 * cell.cx - 3) + 0.5) / 24.0;
    cell.fy = ((double)(y - 24 * cell.cy - 3) + 0.5) / 24.0;
    return cell;
}

// The bit's centre in bilinear_sample's coordinates (pixel values at whole
// points), hence the shift by half a pixel.
point_f64 bit_sampling_position(const page_state &page, const bit_cell &cell)
{
    return position_in(page, cell);
}

namespace {

// What the samples of a bit need of the page, read once for a whole page of
// bits: the sampling grid, and the steps of one page pixel along the page's
// axes (bit_width x horizontal_vector, bit_height x vertical_vector).
struct bit_sampler {
    sample_grid grid;
    point_f64 across, down;
};

bit_sampler sampler_of(const page_state &page)
{
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const double bw = page.bit_width, bh = page.bit_height;
    return {grid_of(page), {bw * h.x, bw * h.y}, {bh * v.x, bh * v.y}};
}

#if defined(__SSE2__)
// bilinear_at for a point held as the pair (x, y): both coordinates are
// tested, truncated and split into float fraction and rest at once, each
// lane by the same double and float operations as split_axis.  The whole
// parts are below 2^31 wherever the point lies inside, so the 32-bit
// truncation gives the same cell as the 64-bit one.
inline float bilinear_xy(const sample_grid &g, __m128d point, __m128d last)
{
    const __m128d above_zero = _mm_cmpgt_pd(point, _mm_setzero_pd());
    const __m128d below_last = _mm_cmplt_pd(point, last);
    if (_mm_movemask_pd(_mm_and_pd(above_zero, below_last)) != 3)
        return bilinear_sample(*g.page, _mm_cvtsd_f64(point),
                               _mm_cvtsd_f64(_mm_unpackhi_pd(point, point)));
    const __m128i cell = _mm_cvttpd_epi32(point);
    const __m128 fraction = _mm_cvtpd_ps(_mm_sub_pd(point, _mm_cvtepi32_pd(cell)));
    const __m128 rest = _mm_sub_ps(_mm_set1_ps(1.0f), fraction);
    const int32_t cx = _mm_cvtsi128_si32(cell), cy = _mm_cvtsi128_si32(_mm_srli_si128(cell, 4));
    const uint8_t *p = g.image + cy * g.width + cx;
    return bilinear_mix(p[0], p[1], p[g.width], p[g.width + 1], _mm_cvtss_f32(fraction),
                        _mm_cvtss_f32(rest), _mm_cvtss_f32(_mm_shuffle_ps(fraction, fraction, 1)),
                        _mm_cvtss_f32(_mm_shuffle_ps(rest, rest, 1)));
}

// One sample of the image at (x, y).  Where SSE2 exists (every x86-64) the
// two coordinates are split together; elsewhere one after the other.  Both
// give the same value.
inline float sample_at(const sample_grid &g, double x, double y)
{
    return bilinear_xy(g, _mm_set_pd(y, x), _mm_set_pd(g.last_y, g.last_x));
}
#else
inline float sample_at(const sample_grid &g, double x, double y)
{
    return bilinear_at(g, x, y);
}
#endif

// centre + 7 x (centre - mean of the four neighbours one page pixel away
// along the page's own axes): raises the contrast of a bit against its
// neighbours.  The last step is done in double and stored as float.
float sharpened_sample(const bit_sampler &s, point_f64 p)
{
    const float left = sample_at(s.grid, p.x - s.across.x, p.y - s.across.y);
    const float right = sample_at(s.grid, p.x + s.across.x, p.y + s.across.y);
    const float below = sample_at(s.grid, p.x + s.down.x, p.y + s.down.y);
    const float above = sample_at(s.grid, p.x - s.down.x, p.y - s.down.y);
    const float centre = sample_at(s.grid, p.x, p.y);
    const float sum = ((left + right) + below) + above;
    const float u = centre + sum * -0.25f;
    return (float)((double)u * 7.0 + (double)centre);
}

float interpolated_cutlevel(const page_state &page, const bit_cell &cell)
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

// A sampled bit and the debug mark it leaves: the negative of the sample,
// clamped to a byte, for the pixel under the bit, or no mark.
struct sampled_bit {
    size_t mark_pixel;  // index into `work`, or no_mark
    uint8_t mark_value;
    uint8_t bit;
};
constexpr size_t no_mark = SIZE_MAX;

size_t mark_pixel_of(const page_state &page, point_f64 p)
{
    const double column = floor_of(p.x + 0.5), row = floor_of(p.y + 0.5);
    if (column >= 0 && column < page.width && row >= 0 && row < page.height)
        return (size_t)row * page.width + (size_t)column;
    return no_mark;
}

uint8_t mark_value_of(float sample)
{
    const double rounded = floor_of((double)sample + 0.5);
    const int32_t value = !(rounded > 0) ? 0 : rounded >= 255 ? 255 : (int32_t)rounded;
    return (uint8_t)(255 - value);
}

sampled_bit take_sample(const page_state &page, const bit_sampler &sampler, uint32_t position)
{
    int32_t x, y;
    bit_to_pixel(position, &x, &y);
    const bit_cell cell = cell_of(x, y);
    const point_f64 p = position_in(page, cell);
    const float v = sharpened_sample(sampler, p);
    const float c = interpolated_cutlevel(page, cell);
    sampled_bit s{no_mark, 0, 0};
    if (x % 8 == 0 || y % 8 == 0) {
        s.mark_pixel = mark_pixel_of(page, p);
        s.mark_value = mark_value_of(v);
    }
    // Darker than the local cutlevel is a black pixel, a 1 bit; equality and
    // NaN read as 0.
    s.bit = c > v ? 1 : 0;
    return s;
}

void put_mark(page_state &page, const sampled_bit &s)
{
    if (s.mark_pixel != no_mark)
        page.work[s.mark_pixel] = s.mark_value;
}

// Codewords sampled per batch: the batch's bits stay in the second-level
// cache between their sampling and their replay.
constexpr uint32_t batch_codewords = 256;
sampled_bit batch[24][batch_codewords];

} // namespace

int sample_bit(page_state &page, uint32_t position)
{
    const sampled_bit s = take_sample(page, sampler_of(page), position);
    put_mark(page, s);
    return s.bit;
}

// The 24 bits of a codeword lie 133182 positions apart, and the error
// correction takes a whole codeword at a time, so bits are received codeword
// by codeword.  Sampling in that order would jump between 24 distant rows of
// the image for every codeword; instead a batch of codewords is sampled bit
// index by bit index, along runs of neighbouring positions, and then replayed
// in the receiving order.  The replay also writes the sample marks, so that
// they and the damage marks of receive_bit land in `work` in the same order
// as if every bit were sampled just before it is received.
void read_page_bits(page_state &page)
{
    const bit_sampler sampler = sampler_of(page);
    for (uint32_t first = 0; first < codewords_per_page; first += batch_codewords) {
        const uint32_t count = codewords_per_page - first < batch_codewords
                                   ? codewords_per_page - first : batch_codewords;
        for (uint32_t n = 0; n < 24; n++)
            for (uint32_t i = 0; i < count; i++)
                batch[n][i] = take_sample(page, sampler, n * codewords_per_page + first + i);
        for (uint32_t i = 0; i < count; i++)
            for (uint32_t n = 0; n < 24; n++) {
                put_mark(page, batch[n][i]);
                receive_bit(page, batch[n][i].bit, first + i);
            }
    }
}
