// simd/bit_sampling_sse2.cpp - channel bits sampled four at a time in SSE2
// lanes.
//
// simd_sample_bits (see simd.h) takes a run of bits for sample_bit.cpp's
// batch: for four neighbouring bits at a time it finds their centres
// between the crosses (`cross_grid`), takes their sharpened samples of
// `image`, compares them with their cutlevels (`cross_cutlevels`) and
// notes each bit's debug mark.  It writes only its output array; the marks
// are drawn into `work` by the caller.  Lane k of every vector belongs to
// the k-th bit and goes through the same float and double operations, on
// the same values and in the same order, as take_sample gives its one bit
// (sample_bit.cpp), through the same helpers (bit_sampling.h, bilinear.h).
#include "simd/lanes_sse2.h"
#include "simd/simd.h"

#include <cmath>
#include <cstdint>

namespace {

// Doubles come two to a register, so a coordinate of four points is a pair
// of registers: bits 0 and 1, then bits 2 and 3.
struct four_points {
    __m128d x01, x23, y01, y23;
};

// What the four-wide sampling needs of the page beyond bit_sampler: the
// frame counted in doubles, and the box in which a bit's centre has all
// five of its sampling points inside the frame (see all_inside).
struct four_sampler {
    bit_sampler one;
    __m128d width, low, high_x, high_y;
};

four_sampler four_sampler_of(const bit_sampler &s)
{
    const sample_grid &g = s.grid;
    // Every sampling point lies within |across| or |down| of its bit's
    // centre; the extra 2 covers the rounding of the shifted coordinates.
    const double reach = fabs(s.across.x) + fabs(s.across.y) + fabs(s.down.x) + fabs(s.down.y);
    const double margin = reach + 2;
    return {s, _mm_set1_pd((double)g.width), _mm_set1_pd(margin), _mm_set1_pd(g.last_x - margin),
            _mm_set1_pd(g.last_y - margin)};
}

four_points shifted(const four_points &p, point_f64 step, bool forward)
{
    const __m128d sx = _mm_set1_pd(step.x), sy = _mm_set1_pd(step.y);
    if (forward)
        return {_mm_add_pd(p.x01, sx), _mm_add_pd(p.x23, sx), _mm_add_pd(p.y01, sy),
                _mm_add_pd(p.y23, sy)};
    return {_mm_sub_pd(p.x01, sx), _mm_sub_pd(p.x23, sx), _mm_sub_pd(p.y01, sy),
            _mm_sub_pd(p.y23, sy)};
}

// Whether all four centres lie inside the box of four_sampler, so that
// every point shifted from them has its four pixels inside the frame (NaN
// fails the test).
inline bool all_inside(const four_sampler &f, const four_points &p)
{
    const __m128d x =
        _mm_and_pd(_mm_and_pd(_mm_cmpgt_pd(p.x01, f.low), _mm_cmplt_pd(p.x01, f.high_x)),
                   _mm_and_pd(_mm_cmpgt_pd(p.x23, f.low), _mm_cmplt_pd(p.x23, f.high_x)));
    const __m128d y =
        _mm_and_pd(_mm_and_pd(_mm_cmpgt_pd(p.y01, f.low), _mm_cmplt_pd(p.y01, f.high_y)),
                   _mm_and_pd(_mm_cmpgt_pd(p.y23, f.low), _mm_cmplt_pd(p.y23, f.high_y)));
    return _mm_movemask_pd(_mm_and_pd(x, y)) == 3;
}

// The points one at a time through bilinear_at, for bits near an edge.
__m128 sample_apart(const sample_grid &g, const four_points &p)
{
    alignas(16) double x[4], y[4];
    _mm_store_pd(x, p.x01);
    _mm_store_pd(x + 2, p.x23);
    _mm_store_pd(y, p.y01);
    _mm_store_pd(y + 2, p.y23);
    return _mm_setr_ps(bilinear_at(g, x[0], y[0]), bilinear_at(g, x[1], y[1]),
                       bilinear_at(g, x[2], y[2]), bilinear_at(g, x[3], y[3]));
}

// A coordinate of four points split as split_axis splits it: the whole
// parts (truncation is the floor above 0), as doubles, and the fractions in
// float.
inline __m128 split_wholes(__m128d c01, __m128d c23, __m128d *whole01, __m128d *whole23)
{
    *whole01 = _mm_cvtepi32_pd(_mm_cvttpd_epi32(c01));
    *whole23 = _mm_cvtepi32_pd(_mm_cvttpd_epi32(c23));
    return _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(c01, *whole01)),
                         _mm_cvtpd_ps(_mm_sub_pd(c23, *whole23)));
}

// row x width + column of four points: exact in double, and below 2^31
// (simd_sample_bits takes no frame of more pixels).
inline __m128i pixel_indices(__m128d column01, __m128d column23, __m128d row01, __m128d row23,
                             __m128d width)
{
    const __m128i i01 = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(row01, width), column01));
    const __m128i i23 = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(row23, width), column23));
    return _mm_unpacklo_epi64(i01, i23);
}

// bilinear_mix of four points whose pixels all lie inside the frame.
inline __m128 sample_four(const four_sampler &f, const four_points &p)
{
    __m128d column01, column23, row01, row23;
    const __m128 fx = split_wholes(p.x01, p.x23, &column01, &column23);
    const __m128 fy = split_wholes(p.y01, p.y23, &row01, &row23);
    const __m128i indices = pixel_indices(column01, column23, row01, row23, f.width);
    const uint8_t *const image = f.one.grid.image;
    const uint8_t *const q[4] = {image + _mm_cvtsi128_si32(indices),
                                 image + _mm_cvtsi128_si32(_mm_shuffle_epi32(indices, 1)),
                                 image + _mm_cvtsi128_si32(_mm_shuffle_epi32(indices, 2)),
                                 image + _mm_cvtsi128_si32(_mm_shuffle_epi32(indices, 3))};
    const __m128 one = _mm_set1_ps(1.0f);
    return bilinear_mix_four(q, f.one.grid.width, fx, _mm_sub_ps(one, fx), fy, _mm_sub_ps(one, fy));
}

// (float)((double)u * 7.0 + (double)centre) for four lanes, in double.
__m128 sharpen_four(__m128 u, __m128 centre)
{
    const __m128d seven = _mm_set1_pd(7.0);
    const __m128d lo = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(u), seven), _mm_cvtps_pd(centre));
    const __m128d hi = _mm_add_pd(_mm_mul_pd(_mm_cvtps_pd(_mm_movehl_ps(u, u)), seven),
                                  _mm_cvtps_pd(_mm_movehl_ps(centre, centre)));
    return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi));
}

// sharpened_sample of four points: ((left + right) + below) + above.
__m128 sharpened_four(const four_sampler &f, const four_points &p)
{
    const bit_sampler &s = f.one;
    const four_points at[5] = {shifted(p, s.across, false), shifted(p, s.across, true),
                               shifted(p, s.down, true), shifted(p, s.down, false), p};
    __m128 v[5];
    if (all_inside(f, p)) {
        for (int k = 0; k < 5; k++)
            v[k] = sample_four(f, at[k]);
    } else {
        for (int k = 0; k < 5; k++)
            v[k] = sample_apart(s.grid, at[k]);
    }
    const __m128 sum = _mm_add_ps(_mm_add_ps(_mm_add_ps(v[0], v[1]), v[2]), v[3]);
    const __m128 u = _mm_add_ps(v[4], _mm_mul_ps(sum, _mm_set1_ps(-0.25f)));
    return sharpen_four(u, v[4]);
}

// Where four bits from `position` on lie: neighbours in one row and one
// cell (the usual case) share that cell (locate_in_one_cell); others are
// located one by one (locate_apart).
struct four_bits {
    int32_t x[4], y[4];
    bool one_cell; // x[k] = x[0] + k, one row, cell of x[0]
    bit_cell cell; // of x[0]
};

four_bits locate_four(uint32_t position)
{
    four_bits b;
    bit_to_pixel(position, &b.x[0], &b.y[0]);
    bit_to_pixel(position + 3, &b.x[3], &b.y[3]);
    // Positions map to pixels in order along a row, so a span of three
    // pixels leaves no room for a skipped one.
    b.one_cell =
        b.y[3] == b.y[0] && b.x[3] == b.x[0] + 3 && cell_column(b.x[0]) == cell_column(b.x[3]);
    if (b.one_cell) {
        for (int k = 1; k < 3; k++) {
            b.x[k] = b.x[0] + k;
            b.y[k] = b.y[0];
        }
        b.cell = cell_of(b.x[0], b.y[0]);
    } else {
        for (int k = 1; k < 3; k++)
            bit_to_pixel(position + k, &b.x[k], &b.y[k]);
    }
    return b;
}

// position_in and interpolated_cutlevel of four neighbours in one cell:
// the cell's crosses and levels are shared, only the x fraction differs.
void locate_in_one_cell(const page_state &page, const four_bits &b, four_points *p, __m128 *cut)
{
    const bit_cell &c = b.cell;
    const double *fractions = &cell_fractions[b.x[0] - pitch * c.cx - centre_offset - first_offset];
    const __m128d one = _mm_set1_pd(1.0), fx01 = _mm_loadu_pd(fractions),
                  fx23 = _mm_loadu_pd(fractions + 2);
    const __m128d rx01 = _mm_sub_pd(one, fx01), rx23 = _mm_sub_pd(one, fx23);
    const __m128d fy = _mm_set1_pd(c.fy), ry = _mm_set1_pd(1 - c.fy), half = _mm_set1_pd(0.5);
    const point_f64 g00 = page.cross_grid[c.cx][c.cy], g10 = page.cross_grid[c.cx + 1][c.cy];
    const point_f64 g01 = page.cross_grid[c.cx][c.cy + 1],
                    g11 = page.cross_grid[c.cx + 1][c.cy + 1];
    auto across = [](double right, double left, __m128d f, __m128d r) {
        return _mm_add_pd(_mm_mul_pd(_mm_set1_pd(right), f), _mm_mul_pd(_mm_set1_pd(left), r));
    };
    auto coordinate = [&](double a00, double a10, double a01, double a11, __m128d f, __m128d r) {
        const __m128d top = across(a10, a00, f, r), bottom = across(a11, a01, f, r);
        return _mm_sub_pd(_mm_add_pd(_mm_mul_pd(bottom, fy), _mm_mul_pd(top, ry)), half);
    };
    p->x01 = coordinate(g00.x, g10.x, g01.x, g11.x, fx01, rx01);
    p->x23 = coordinate(g00.x, g10.x, g01.x, g11.x, fx23, rx23);
    p->y01 = coordinate(g00.y, g10.y, g01.y, g11.y, fx01, rx01);
    p->y23 = coordinate(g00.y, g10.y, g01.y, g11.y, fx23, rx23);
    const __m128 fxf = _mm_movelh_ps(_mm_cvtpd_ps(fx01), _mm_cvtpd_ps(fx23));
    const __m128 onef = _mm_set1_ps(1.0f), rxf = _mm_sub_ps(onef, fxf);
    const float fyf = (float)c.fy;
    const float l00 = page.cross_cutlevels[c.cx][c.cy], l10 = page.cross_cutlevels[c.cx + 1][c.cy];
    const float l01 = page.cross_cutlevels[c.cx][c.cy + 1],
                l11 = page.cross_cutlevels[c.cx + 1][c.cy + 1];
    const __m128 top =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(l10), fxf), _mm_mul_ps(_mm_set1_ps(l00), rxf));
    const __m128 bottom =
        _mm_add_ps(_mm_mul_ps(_mm_set1_ps(l11), fxf), _mm_mul_ps(_mm_set1_ps(l01), rxf));
    *cut = _mm_add_ps(_mm_mul_ps(bottom, _mm_set1_ps(fyf)), _mm_mul_ps(_mm_set1_ps(1 - fyf), top));
}

// The same for four bits in different cells or rows, one at a time.
void locate_apart(const page_state &page, const four_bits &b, four_points *p, __m128 *cut)
{
    point_f64 q[4];
    alignas(16) float c[4];
    for (int k = 0; k < 4; k++) {
        const bit_cell cell = cell_of(b.x[k], b.y[k]);
        q[k] = position_in(page, cell);
        c[k] = interpolated_cutlevel(page, cell);
    }
    *p = {_mm_setr_pd(q[0].x, q[1].x), _mm_setr_pd(q[2].x, q[3].x), _mm_setr_pd(q[0].y, q[1].y),
          _mm_setr_pd(q[2].y, q[3].y)};
    *cut = _mm_load_ps(c);
}

// take_sample for the four bits at `position` and the three after it.
void take_four(const page_state &page, const four_sampler &f, uint32_t position, sampled_bit *out)
{
    const four_bits b = locate_four(position);
    four_points p;
    __m128 cut;
    if (b.one_cell)
        locate_in_one_cell(page, b, &p, &cut);
    else
        locate_apart(page, b, &p, &cut);
    const __m128 v = sharpened_four(f, p);
    // Darker than the local cutlevel is a 1 bit; equality and NaN read as 0.
    const int bits = _mm_movemask_ps(_mm_cmpgt_ps(cut, v));
    alignas(16) float value[4], margin[4];
    alignas(16) double x[4], y[4];
    _mm_store_ps(value, v);
    _mm_store_ps(margin, _mm_sub_ps(cut, v));
    _mm_store_pd(x, p.x01);
    _mm_store_pd(x + 2, p.x23);
    _mm_store_pd(y, p.y01);
    _mm_store_pd(y + 2, p.y23);
    for (int k = 0; k < 4; k++) {
        out[k] = {no_mark, 0, (uint8_t)(bits >> k & 1), margin[k]};
        if (leaves_mark(b.x[k], b.y[k])) {
            out[k].mark_pixel = mark_pixel_of(page, {x[k], y[k]});
            out[k].mark_value = mark_value_of(value[k]);
        }
    }
}

} // namespace

// Every whole group of four bits, unless the frame has 2^31 pixels or more:
// pixel_indices counts them in 32 bits.
uint32_t simd_sample_bits(const page_state &page, const bit_sampler &sampler, uint32_t position,
                          uint32_t count, sampled_bit *out)
{
    const sample_grid &g = sampler.grid;
    if (!((double)g.width * (g.last_y + 1) < 2147483648.0))
        return 0;
    const four_sampler four = four_sampler_of(sampler);
    uint32_t i = 0;
    for (; count - i >= 4; i += 4)
        take_four(page, four, position + i, out + i);
    return i;
}
