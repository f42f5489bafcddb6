// simd/cross_search_sse2.cpp - the cross search's samples and scores, four
// at a time in SSE2 lanes.
//
// simd_four_scores scores four refinement candidates side by side, and
// simd_four_offsets takes four samples along the page axes for the search
// area and the cross cutlevel (see simd.h).  Both read the page's `image`
// (after dirt removal), its size and `cutlevel`, and write only their
// output arrays.  Every lane goes through the same double and float
// operations, in the same order, as quadrant_score and bilinear_at give a
// point on its own (find_crosses.cpp, bilinear.h): the searches compare
// scores for exact ties, so a lane that rounded differently could move a
// cross.  What the lanes cannot take they leave to find_crosses.cpp.
#include "simd/lanes_sse2.h"
#include "simd/simd.h"

#include <algorithm>
#include <cstdint>

namespace {

// Several scores side by side.  Each score is one long chain of dependent
// float additions, so scoring candidates one after another waits on that
// chain.  The candidates of a refinement are independent of each other: in
// the four lanes of a register four scores run through the very same float
// operations in the very same order as quadrant_score's, each in its own
// lane, while the four chains overlap.  A group of points goes this way only
// when every sample of every lane lies inside the image and the lanes' rows
// lie alike around their first rows; any other group is left to
// quadrant_scores, which scores it one point at a time.
constexpr int lanes = 4;

// The coordinates i + v ("forward") and (v - 1) - i ("backward") of each
// lane's v, split for i = 0 .. n - 1.
struct lane_axes {
    int32_t forward_cell[max_split_half][lanes], backward_cell[max_split_half][lanes];
    __m128 forward_fraction[max_split_half], forward_rest[max_split_half];
    __m128 backward_fraction[max_split_half], backward_rest[max_split_half];
};

// split_axis for one coordinate of every lane, two lanes to a register: the
// same test, truncation, difference in double and rounding to float.  The
// caller has checked that `last` is below 2^31, so wherever the test passes
// the 32-bit truncation is the 64-bit one.  False when any lane is not
// inside (NaN included).
inline bool split_four(__m128d c01, __m128d c23, __m128d last, int32_t *cell, __m128 *fraction,
                       __m128 *rest)
{
    const __m128d zero = _mm_setzero_pd();
    const __m128d in01 = _mm_and_pd(_mm_cmpgt_pd(c01, zero), _mm_cmplt_pd(c01, last));
    const __m128d in23 = _mm_and_pd(_mm_cmpgt_pd(c23, zero), _mm_cmplt_pd(c23, last));
    if (_mm_movemask_pd(_mm_and_pd(in01, in23)) != 3)
        return false;
    const __m128i w01 = _mm_cvttpd_epi32(c01), w23 = _mm_cvttpd_epi32(c23);
    _mm_storeu_si128((__m128i *)cell, _mm_unpacklo_epi64(w01, w23));
    *fraction = _mm_movelh_ps(_mm_cvtpd_ps(_mm_sub_pd(c01, _mm_cvtepi32_pd(w01))),
                              _mm_cvtpd_ps(_mm_sub_pd(c23, _mm_cvtepi32_pd(w23))));
    *rest = _mm_sub_ps(_mm_set1_ps(1.0f), *fraction);
    return true;
}

// False when any of the coordinates is not inside.
bool split_lanes(const double *v, int32_t n, double last, lane_axes &out)
{
    if (!(last < 2147483648.0))
        return false;
    const __m128d v01 = _mm_loadu_pd(v), v23 = _mm_loadu_pd(v + 2);
    const __m128d one = _mm_set1_pd(1.0), bound = _mm_set1_pd(last);
    const __m128d back01 = _mm_sub_pd(v01, one), back23 = _mm_sub_pd(v23, one);
    for (int32_t ii = 0; ii < n; ii++) {
        const __m128d i = _mm_set1_pd(ii);
        if (!split_four(_mm_add_pd(i, v01), _mm_add_pd(i, v23), bound, out.forward_cell[ii],
                        &out.forward_fraction[ii], &out.forward_rest[ii]) ||
            !split_four(_mm_sub_pd(back01, i), _mm_sub_pd(back23, i), bound, out.backward_cell[ii],
                        &out.backward_fraction[ii], &out.backward_rest[ii]))
            return false;
    }
    return true;
}

// The rows the lanes interpolate across: lane k's rows lo[k] .. lo[k] +
// count - 1, and the row of every sample counted from lo, the same in every
// lane (as it is wherever floor(y + j) is floor(y) + j).
struct lane_rows {
    int64_t lo[lanes];
    int64_t count;
    int64_t forward[max_split_half], backward[max_split_half];
};

// False when the lanes' rows do not lie alike or are too many.
bool plan_rows(const lane_axes &rows, int32_t n, lane_rows &plan)
{
    for (int k = 0; k < lanes; k++) {
        int64_t first = INT64_MAX, last = INT64_MIN;
        for (int32_t jj = 0; jj < n; jj++) {
            const int64_t f = rows.forward_cell[jj][k], b = rows.backward_cell[jj][k];
            first = std::min({first, f, b});
            last = std::max({last, f, b});
        }
        // Rows at the same offsets in every lane make the same count.
        plan.lo[k] = first;
        if (k == 0)
            plan.count = last + 2 - first;
        for (int32_t jj = 0; jj < n; jj++) {
            const int64_t f = rows.forward_cell[jj][k] - first,
                          b = rows.backward_cell[jj][k] - first;
            if (k == 0) {
                plan.forward[jj] = f;
                plan.backward[jj] = b;
            } else if (f != plan.forward[jj] || b != plan.backward[jj]) {
                return false;
            }
        }
    }
    return plan.count <= 2 * max_split_half + 4;
}

// fill_column for one column of every lane: across[r] holds, lane by lane,
// row lo + r interpolated between the column's pixel and its successor.
// The four pixel pointers and the row step are locals so that they stay in
// registers across the stores into `across`.
void fill_lane_column(const sample_grid &g, const lane_rows &plan, const int32_t *cell,
                      __m128 fraction, __m128 rest, __m128 *across)
{
    const int64_t width = g.width, count = plan.count;
    const uint8_t *q0 = g.image + plan.lo[0] * width + cell[0];
    const uint8_t *q1 = g.image + plan.lo[1] * width + cell[1];
    const uint8_t *q2 = g.image + plan.lo[2] * width + cell[2];
    const uint8_t *q3 = g.image + plan.lo[3] * width + cell[3];
    for (int64_t r = 0, step = 0; r < count; r++, step += width)
        across[r] = mix_across(four_pixel_pairs(q0 + step, q1 + step, q2 + step, q3 + step),
                               fraction, rest);
}

// mix_rows in every lane, less the cutlevel.
inline __m128 mix_lanes(const __m128 *across, int64_t r, __m128 fraction, __m128 rest, __m128 level)
{
    return _mm_sub_ps(_mm_add_ps(_mm_mul_ps(across[r + 1], fraction), _mm_mul_ps(rest, across[r])),
                      level);
}

// quadrant_score's sum in every lane, in its order of samples.
__m128 sum_lanes(const sample_grid &g, const lane_axes &columns, const lane_axes &rows,
                 const lane_rows &plan, int32_t n, float cutlevel)
{
    const __m128 level = _mm_set1_ps(cutlevel);
    __m128 right[2 * max_split_half + 4], left[2 * max_split_half + 4];
    __m128 sum = _mm_setzero_ps();
    for (int32_t ii = 0; ii < n; ii++) {
        fill_lane_column(g, plan, columns.forward_cell[ii], columns.forward_fraction[ii],
                         columns.forward_rest[ii], right);
        fill_lane_column(g, plan, columns.backward_cell[ii], columns.backward_fraction[ii],
                         columns.backward_rest[ii], left);
        for (int32_t jj = 0; jj < n; jj++) {
            const int64_t below = plan.forward[jj], above = plan.backward[jj];
            const __m128 bf = rows.forward_fraction[jj], br = rows.forward_rest[jj];
            const __m128 af = rows.backward_fraction[jj], ar = rows.backward_rest[jj];
            sum = _mm_sub_ps(sum, mix_lanes(right, below, bf, br, level));
            sum = _mm_sub_ps(sum, mix_lanes(left, above, af, ar, level));
            sum = _mm_add_ps(mix_lanes(right, above, af, ar, level), sum);
            sum = _mm_add_ps(mix_lanes(left, below, bf, br, level), sum);
        }
    }
    return sum;
}

// bilinear_mix in every lane, of the pixels at the lanes' cells.
__m128 mix_four(const sample_grid &g, const int32_t *cx, const int32_t *cy, __m128 fx, __m128 rx,
                __m128 fy, __m128 ry)
{
    const int64_t width = g.width;
    const uint8_t *const q[lanes] = {
        g.image + cy[0] * width + cx[0], g.image + cy[1] * width + cx[1],
        g.image + cy[2] * width + cx[2], g.image + cy[3] * width + cx[3]};
    return bilinear_mix_four(q, width, fx, rx, fy, ry);
}

// (a * h + p) + b * v in every lane, for one component of h, p and v.
inline __m128d along_axes(__m128d a, __m128d b, double h, double p, double v)
{
    return _mm_add_pd(_mm_add_pd(_mm_mul_pd(a, _mm_set1_pd(h)), _mm_set1_pd(p)),
                      _mm_mul_pd(b, _mm_set1_pd(v)));
}

} // namespace

// The scores of four points side by side; false, with nothing written, when
// they cannot go that way.
bool simd_four_scores(const page_state &page, const point_f64 *points, float *scores)
{
    const sample_grid g = grid_of(page);
    const int32_t n = page.quadrant_half;
    if (n <= 0 || n > max_split_half)
        return false;
    double xs[lanes], ys[lanes];
    for (int k = 0; k < lanes; k++) {
        xs[k] = points[k].x;
        ys[k] = points[k].y;
    }
    lane_axes columns, rows;
    lane_rows plan;
    if (!split_lanes(xs, n, g.last_x, columns) || !split_lanes(ys, n, g.last_y, rows) ||
        !plan_rows(rows, n, plan))
        return false;
    _mm_storeu_ps(scores, sum_lanes(g, columns, rows, plan, n, page.cutlevel));
    return true;
}

// Four samples at once, each lane by the same double and float operations
// as bilinear_at; false, with nothing written, when any point is not inside.
// The offsets are formed in registers: read back from memory that was just
// written a double at a time, they would wait for the writes to complete.
bool simd_four_offsets(const sample_grid &g, const offset_frame &f, double a, double b, double da,
                       double db, float *out)
{
    if (!(g.last_x < 2147483648.0 && g.last_y < 2147483648.0))
        return false;
    const __m128d a01 = _mm_add_pd(_mm_set1_pd(a), _mm_setr_pd(0, da));
    const __m128d a23 = _mm_add_pd(_mm_set1_pd(a), _mm_setr_pd(2 * da, 3 * da));
    const __m128d b01 = _mm_add_pd(_mm_set1_pd(b), _mm_setr_pd(0, db));
    const __m128d b23 = _mm_add_pd(_mm_set1_pd(b), _mm_setr_pd(2 * db, 3 * db));
    alignas(16) int32_t cx[lanes], cy[lanes];
    __m128 fx, rx, fy, ry;
    if (!split_four(along_axes(a01, b01, f.h.x, f.p.x, f.v.x),
                    along_axes(a23, b23, f.h.x, f.p.x, f.v.x), _mm_set1_pd(g.last_x), cx, &fx,
                    &rx) ||
        !split_four(along_axes(a01, b01, f.h.y, f.p.y, f.v.y),
                    along_axes(a23, b23, f.h.y, f.p.y, f.v.y), _mm_set1_pd(g.last_y), cy, &fy, &ry))
        return false;
    _mm_storeu_ps(out, mix_four(g, cx, cy, fx, rx, fy, ry));
    return true;
}
