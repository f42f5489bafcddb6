// find_crosses.cpp - locating the 65 x 93 registration crosses of a scan.
//
// Reads the page record after the geometry estimate: `image` (after dirt
// removal), `cutlevel`, the corners, the bit sizes, the page axes, `chalf`,
// `quadrant_half` and the page's `search_area` table.  Writes `cross_grid`
// (the centre of every cross in image coordinates) and `cross_cutlevels` (a
// black/white level measured around every cross), and prints one progress
// line per row of crosses.  Each cross is predicted from the one found just
// before it, searched on a whole-pixel grid by correlating the cross pattern
// over running sums, and refined on a quarter-pixel grid.  mark_geometry
// draws the corners and crosses into `work` for the debug image.
//
// Every float/double step below follows a fixed order of operations: the
// searches compare scores for exact ties, so a reordered sum could move a
// cross and change decoded bits.
#include "bilinear.h"
#include "stage_internals.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>


namespace {

// Value of pixel (column, row) as float; anything outside the image is
// white.  Columns and rows arrive as doubles so that no conversion of an
// out-of-range coordinate to an integer can overflow.
float pixel_or_white(const page_state &page, double column, double row)
{
    if (!(column < page.width) || !(row < page.height))
        return 255.0f;
    return page.image[(size_t)row * page.width + (size_t)column];
}

int32_t search_side(const page_state &page)
{
    return 4 * page.chalf + 1;
}

} // namespace

float bilinear_sample(const page_state &page, double x, double y)
{
    // Negative coordinates use column (row) 0 with a negative weight, so
    // they extrapolate from the first two columns instead of clamping.
    double ix = x < 0 ? 0.0 : floor(x);
    double iy = y < 0 ? 0.0 : floor(y);
    float p00 = pixel_or_white(page, ix, iy);
    float p10 = pixel_or_white(page, ix + 1, iy);
    float p01 = pixel_or_white(page, ix, iy + 1);
    float p11 = pixel_or_white(page, ix + 1, iy + 1);
    float fx = (float)(x - ix);
    float fy = (float)(y - iy);
    return (p11 * fx + p01 * (1 - fx)) * fy + (1 - fy) * (p10 * fx + p00 * (1 - fx));
}

float cross_correl_search(const page_state &page, int32_t xpos, int32_t ypos)
{
    const int32_t c = page.chalf;
    unpaprel_assert_as(xpos >= -c, "xpos>=-chalf");
    unpaprel_assert_as(xpos <= c, "xpos<=chalf");
    unpaprel_assert_as(ypos >= -c, "ypos>=-chalf");
    unpaprel_assert_as(ypos <= c, "ypos<=chalf");
    const int32_t x = xpos + 2 * c, y = ypos + 2 * c;
    // With the offsets checked above, every element read lies within the
    // table's 0 .. 4c in both directions.
    const float *area = page.search_area;
    const int32_t side = search_side(page);
    auto g = [&](int32_t column, int32_t row) { return area[column + row * side]; };
    // Nine reads of the running sums give the four quadrant sums; the
    // grouping is the one the tie rules were settled with.
    float t = g(x, y) * -4;
    float s = ((g(x - c, y) + g(x + c, y)) + g(x, y - c)) + g(x, y + c);
    t = (s + s) + t;
    float u = ((g(x - c, y - c) + g(x - c, y + c)) + g(x + c, y - c)) + g(x + c, y + c);
    return t - u;
}

namespace {

// quadrant_score for any quadrant half, every sample on its own.
float quadrant_score_direct(const page_state &page, double x, double y)
{
    const sample_grid g = grid_of(page);
    const int32_t n = page.quadrant_half;
    const float level = page.cutlevel;
    float sum = 0;
    for (int32_t ii = 0; ii < n; ii++) {
        for (int32_t jj = 0; jj < n; jj++) {
            double i = ii, j = jj;
            sum = sum - (bilinear_at(g, i + x, j + y) - level);
            sum = sum - (bilinear_at(g, (x - 1) - i, (y - 1) - j) - level);
            sum = (bilinear_at(g, i + x, (y - 1) - j) - level) + sum;
            sum = (bilinear_at(g, (x - 1) - i, j + y) - level) + sum;
        }
    }
    return sum;
}

} // namespace

namespace {

// Rows lo .. lo + count - 1 of one column of samples, each interpolated
// across between the column's pixel and its successor, exactly as
// bilinear_mix does it for the upper (p00, p10) or lower (p01, p11) pair.
struct column_rows {
    int64_t lo;
    float across[2 * max_split_half + 4];
};

void fill_column(const sample_grid &g, const sample_axis &column, int64_t lo, int64_t count,
                 column_rows &out)
{
    out.lo = lo;
    const uint8_t *p = g.image + lo * g.width + column.cell;
    for (int64_t r = 0; r < count; r++, p += g.width) {
        const float left = p[0], right = p[1];
        out.across[r] = right * column.fraction + left * column.rest;
    }
}

// bilinear_mix's last step on two rows filled above.
inline float mix_rows(const column_rows &c, const sample_axis &row)
{
    const int64_t r = row.cell - c.lo;
    return c.across[r + 1] * row.fraction + row.rest * c.across[r];
}

// The rows all samples of a score touch, when every one of them lies
// inside the image and they fit in column_rows; otherwise false.
bool rows_of(const sample_axis *below, const sample_axis *above, int32_t n, int64_t *lo,
             int64_t *count)
{
    if (n <= 0)
        return false;
    int64_t first = INT64_MAX, last = INT64_MIN;
    for (int32_t jj = 0; jj < n; jj++) {
        if (!(below[jj].inside && above[jj].inside))
            return false;
        first = std::min({first, below[jj].cell, above[jj].cell});
        last = std::max({last, below[jj].cell, above[jj].cell});
    }
    *lo = first;
    *count = last + 2 - first;
    return *count <= 2 * max_split_half + 4;
}

} // namespace

// The samples lie on the columns i + x and (x - 1) - i and the rows j + y
// and (y - 1) - j: each is split once, and the sums run in the same order
// as in quadrant_score_direct.  Where all rows lie inside the image, the
// interpolation across a column is done once per row and shared by the
// samples above and below it (the same float values).
float quadrant_score(const page_state &page, double x, double y)
{
    const int32_t n = page.quadrant_half;
    if (n > max_split_half)
        return quadrant_score_direct(page, x, y);
    const sample_grid g = grid_of(page);
    const float level = page.cutlevel;
    sample_axis below[max_split_half], above[max_split_half];
    for (int32_t jj = 0; jj < n; jj++) {
        double j = jj;
        below[jj] = split_axis(j + y, g.last_y);
        above[jj] = split_axis((y - 1) - j, g.last_y);
    }
    int64_t lo = 0, count = 0;
    const bool shared_rows = rows_of(below, above, n, &lo, &count);
    column_rows right_rows, left_rows;
    float sum = 0;
    for (int32_t ii = 0; ii < n; ii++) {
        double i = ii;
        const sample_axis right = split_axis(i + x, g.last_x);
        const sample_axis left = split_axis((x - 1) - i, g.last_x);
        if (shared_rows && right.inside && left.inside) {
            fill_column(g, right, lo, count, right_rows);
            fill_column(g, left, lo, count, left_rows);
            for (int32_t jj = 0; jj < n; jj++) {
                sum = sum - (mix_rows(right_rows, below[jj]) - level);
                sum = sum - (mix_rows(left_rows, above[jj]) - level);
                sum = (mix_rows(right_rows, above[jj]) - level) + sum;
                sum = (mix_rows(left_rows, below[jj]) - level) + sum;
            }
            continue;
        }
        for (int32_t jj = 0; jj < n; jj++) {
            sum = sum - (bilinear_at(g, right, below[jj]) - level);
            sum = sum - (bilinear_at(g, left, above[jj]) - level);
            sum = (bilinear_at(g, right, above[jj]) - level) + sum;
            sum = (bilinear_at(g, left, below[jj]) - level) + sum;
        }
    }
    return sum;
}

#if defined(__SSE2__)
namespace {

// Several scores side by side.  Each score is one long chain of dependent
// float additions, so scoring candidates one after another waits on that
// chain.  The candidates of a refinement are independent of each other: in
// the four lanes of a register four scores run through the very same float
// operations in the very same order as quadrant_score's, each in its own
// lane, while the four chains overlap.  A group of points goes this way only
// when every sample of every lane lies inside the image and the lanes' rows
// lie alike around their first rows; any other group is scored one point at
// a time.
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
            const int64_t f = rows.forward_cell[jj][k] - first, b = rows.backward_cell[jj][k] - first;
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
    const __m128i low_byte = _mm_set1_epi32(0xff);
    for (int64_t r = 0, step = 0; r < count; r++, step += width) {
        __m128i pairs = _mm_setzero_si128();
        pairs = _mm_insert_epi16(pairs, pixel_pair(q0 + step), 0);
        pairs = _mm_insert_epi16(pairs, pixel_pair(q1 + step), 2);
        pairs = _mm_insert_epi16(pairs, pixel_pair(q2 + step), 4);
        pairs = _mm_insert_epi16(pairs, pixel_pair(q3 + step), 6);
        const __m128 left = _mm_cvtepi32_ps(_mm_and_si128(pairs, low_byte));
        const __m128 right = _mm_cvtepi32_ps(_mm_srli_epi32(pairs, 8));
        across[r] = _mm_add_ps(_mm_mul_ps(right, fraction), _mm_mul_ps(left, rest));
    }
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

// The scores of four points side by side; false, with nothing written, when
// they cannot go that way.  The caller has checked 0 < n <= max_split_half.
bool four_scores(const page_state &page, const point_f64 *points, float *scores)
{
    const sample_grid g = grid_of(page);
    const int32_t n = page.quadrant_half;
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

// bilinear_mix in every lane, of the pixels at the lanes' cells.
__m128 mix_four(const sample_grid &g, const int32_t *cx, const int32_t *cy, __m128 fx, __m128 rx,
                __m128 fy, __m128 ry)
{
    const int64_t width = g.width;
    const uint8_t *const q[lanes] = {g.image + cy[0] * width + cx[0], g.image + cy[1] * width + cx[1],
                                     g.image + cy[2] * width + cx[2], g.image + cy[3] * width + cx[3]};
    return bilinear_mix_four(q, width, fx, rx, fy, ry);
}

// (a * h + p) + b * v in every lane, for one component of h, p and v.
inline __m128d along_axes(__m128d a, __m128d b, double h, double p, double v)
{
    return _mm_add_pd(_mm_add_pd(_mm_mul_pd(a, _mm_set1_pd(h)), _mm_set1_pd(p)),
                      _mm_mul_pd(b, _mm_set1_pd(v)));
}

// Four samples at once, each lane by the same double and float operations
// as bilinear_at; when any point is not inside, all four go to bilinear_at.
// The offsets are formed in registers: read back from memory that was just
// written a double at a time, they would wait for the writes to complete.
void sample_four_offsets(const sample_grid &g, const offset_frame &f, double a, double b,
                         double da, double db, float *out)
{
    const __m128d a01 = _mm_add_pd(_mm_set1_pd(a), _mm_setr_pd(0, da));
    const __m128d a23 = _mm_add_pd(_mm_set1_pd(a), _mm_setr_pd(2 * da, 3 * da));
    const __m128d b01 = _mm_add_pd(_mm_set1_pd(b), _mm_setr_pd(0, db));
    const __m128d b23 = _mm_add_pd(_mm_set1_pd(b), _mm_setr_pd(2 * db, 3 * db));
    alignas(16) double x[lanes], y[lanes];
    _mm_store_pd(x, along_axes(a01, b01, f.h.x, f.p.x, f.v.x));
    _mm_store_pd(x + 2, along_axes(a23, b23, f.h.x, f.p.x, f.v.x));
    _mm_store_pd(y, along_axes(a01, b01, f.h.y, f.p.y, f.v.y));
    _mm_store_pd(y + 2, along_axes(a23, b23, f.h.y, f.p.y, f.v.y));
    alignas(16) int32_t cx[lanes], cy[lanes];
    __m128 fx, rx, fy, ry;
    if (g.last_x < 2147483648.0 && g.last_y < 2147483648.0 &&
        split_four(_mm_load_pd(x), _mm_load_pd(x + 2), _mm_set1_pd(g.last_x), cx, &fx, &rx) &&
        split_four(_mm_load_pd(y), _mm_load_pd(y + 2), _mm_set1_pd(g.last_y), cy, &fy, &ry)) {
        _mm_storeu_ps(out, mix_four(g, cx, cy, fx, rx, fy, ry));
        return;
    }
    for (int k = 0; k < lanes; k++)
        out[k] = bilinear_at(g, x[k], y[k]);
}

} // namespace

// Groups of four points; a last group that is not full repeats its last
// point in the spare lanes, whose scores are dropped.
void quadrant_scores(const page_state &page, const point_f64 *points, uint32_t count, float *scores)
{
    const int32_t n = page.quadrant_half;
    for (uint32_t first = 0; first < count; first += lanes) {
        const uint32_t real = std::min<uint32_t>(lanes, count - first);
        point_f64 group[lanes];
        float four[lanes];
        for (uint32_t k = 0; k < lanes; k++)
            group[k] = points[first + std::min(k, real - 1)];
        const bool side_by_side = n > 0 && n <= max_split_half && four_scores(page, group, four);
        for (uint32_t k = 0; k < real; k++)
            scores[first + k] = side_by_side ? four[k] : quadrant_score(page, group[k].x, group[k].y);
    }
}
#else
void quadrant_scores(const page_state &page, const point_f64 *points, uint32_t count, float *scores)
{
    for (uint32_t k = 0; k < count; k++)
        scores[k] = quadrant_score(page, points[k].x, points[k].y);
}

namespace {

void sample_four_offsets(const sample_grid &g, const offset_frame &f, double a, double b,
                         double da, double db, float *out)
{
    for (int k = 0; k < 4; k++) {
        const double ak = a + k * da, bk = b + k * db;
        out[k] = bilinear_at(g, (ak * f.h.x + f.p.x) + bk * f.v.x, (ak * f.h.y + f.p.y) + bk * f.v.y);
    }
}

} // namespace
#endif

float measure_cutlevel(const page_state &page, point_f64 centre)
{
    const sample_grid g = grid_of(page);
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const int64_t level = page.cutlevel;
    const int64_t wx = (int64_t)floor(page.bit_width * 2.25);
    const int64_t wy = (int64_t)floor(page.bit_height * 2.25);
    const offset_frame frame = {h, v, centre};
    float above_sum = 0, below_sum = 0;
    uint64_t above_count = 0, below_count = 0;
    for (int64_t a = -wx; a <= wx; a++) {
        // Four samples down the column at a time; those past the column's
        // end are not counted.
        for (int64_t b = -wy; b <= wy; b += 4) {
            float s[4];
            sample_four_offsets(g, frame, (double)a, (double)b, 0, 1, s);
            for (int k = 0; k < 4 && b + k <= wy; k++) {
                int64_t d = (int64_t)s[k] - level;    // the integer part; equal counts for neither
                if (d > 0) {
                    above_sum += (float)(d * d);
                    above_count++;
                } else if (d < 0) {
                    below_sum += (float)(d * d);
                    below_count++;
                }
            }
        }
    }
    if (above_count == 0 || below_count == 0)
        return (float)level;
    float white = sqrtf(above_sum / (float)above_count) + (float)level;
    float black = (float)level - sqrtf(below_sum / (float)below_count);
    return white * 0.06f + black * 0.94f;
}

// Samples of the image around the prediction along the page axes, less the
// cutlevel, turned into running sums over rows and columns.  Row 0 and
// column 0 stay zero so that every window sum is four reads.
void fill_search_area(page_state &page, point_f64 prediction)
{
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const int32_t side = search_side(page), c2 = 2 * page.chalf;
    const float level = page.cutlevel;
    const sample_grid g = grid_of(page);
    const offset_frame frame = {h, v, prediction};
    float *area = page.search_area;
    for (int32_t q = 0; q < side; q++)
        area[q] = 0;
    for (int32_t r = 1; r < side; r++) {
        float *row = area + r * side;
        row[0] = 0;
        // Four samples along the row at a time; those past the row's end
        // are not stored.
        for (int32_t q = 1; q < side; q += 4) {
            float s[4];
            sample_four_offsets(g, frame, q - 1 - c2, r - 1 - c2, 1, 0, s);
            for (int32_t k = 0; k < 4 && q + k < side; k++)
                row[q + k] = s[k] - level;
        }
    }
    for (int32_t r = 0; r < side; r++)
        for (int32_t q = 1; q < side; q++)
            area[q + r * side] += area[q - 1 + r * side];
    for (int32_t r = 1; r < side; r++)
        for (int32_t q = 0; q < side; q++)
            area[q + r * side] += area[q + (r - 1) * side];
}

size_t append_cross_cutlevel(char *line, size_t size, size_t used, float cutlevel)
{
    int n = snprintf(line + used, size - used, "%02x ", (int)floor((double)cutlevel + 0.5));
    return n < 0 ? used : used + (size_t)n < size ? used + (size_t)n : size - 1;
}

// Whole-pixel search over offsets -chalf..chalf; (0, 0) wins every tie and
// otherwise the first maximum in outer-x, inner-y order.
point_f64 whole_pixel_search(const page_state &page, point_f64 p)
{
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const int32_t c = page.chalf;
    float best = cross_correl_search(page, 0, 0);
    int32_t bx = 0, by = 0;
    for (int32_t xpos = -c; xpos <= c; xpos++) {
        for (int32_t ypos = -c; ypos <= c; ypos++) {
            float score = cross_correl_search(page, xpos, ypos);
            if (score > best) {
                best = score;
                bx = xpos;
                by = ypos;
            }
        }
    }
    return {(bx * h.x + p.x) + by * v.x, (bx * h.y + p.y) + by * v.y};
}

// Quarter-pixel refinement within half a page pixel along both axes, with
// the same tie rule as the whole-pixel search.  The 26 points are scored
// together (P0 first, then the candidates in search order), and the best is
// chosen from the stored scores.
point_f64 quarter_pixel_refine(const page_state &page, point_f64 p0)
{
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    point_f64 points[26];
    points[0] = p0;
    for (int32_t iu = -2; iu <= 2; iu++) {
        for (int32_t jv = -2; jv <= 2; jv++) {
            double qx = (jv * 0.25) * v.x + ((iu * 0.25) * h.x + p0.x);
            double qy = (jv * 0.25) * v.y + ((iu * 0.25) * h.y + p0.y);
            points[1 + (iu + 2) * 5 + (jv + 2)] = {qx, qy};
        }
    }
    float scores[26];
    quadrant_scores(page, points, 26, scores);
    float best = scores[0];
    int32_t bu = 0, bv = 0;
    for (int32_t iu = -2; iu <= 2; iu++) {
        for (int32_t jv = -2; jv <= 2; jv++) {
            float score = scores[1 + (iu + 2) * 5 + (jv + 2)];
            if (score > best) {
                best = score;
                bu = iu;
                bv = jv;
            }
        }
    }
    return {((bu * 0.25) * h.x + p0.x) + (bv * 0.25) * v.x,
            ((bu * 0.25) * h.y + p0.y) + (bv * 0.25) * v.y};
}

namespace {

point_f64 corner_f64(point_u64 corner)
{
    return {(double)corner.x, (double)corner.y};
}

// The centre of cross (0, 0) lies this far from the page's top-left corner
// along both axes, in page pixels: the frame and half a cross.
constexpr uint32_t first_cross_centre = border_width + chalf;

// Page point (5, 5), the centre of cross (0, 0), between the four corners.
// The weights are the quotients themselves (5 / 1546 and 1541 / 1546), not
// one of them taken from 1, which rounds differently.
point_f64 first_prediction(const page_corners &k, double format_height)
{
    const point_f64 ul = corner_f64(k.upper_left), ur = corner_f64(k.upper_right);
    const point_f64 ll = corner_f64(k.lower_left), lr = corner_f64(k.lower_right);
    const double right = (double)first_cross_centre / page_width;
    const double left = (double)(page_width - first_cross_centre) / page_width;
    point_f64 top = {ur.x * right + ul.x * left, ur.y * right + ul.y * left};
    point_f64 bottom = {lr.x * right + ll.x * left, lr.y * right + ll.y * left};
    double f = first_cross_centre / format_height;
    return {(1 - f) * top.x + f * bottom.x, (1 - f) * top.y + f * bottom.y};
}

void find_one_cross(page_state &page, uint32_t i, uint32_t j, point_f64 prediction)
{
    page.cross_grid[i][j] = prediction;
    fill_search_area(page, prediction);
    point_f64 p0 = whole_pixel_search(page, prediction);
    point_f64 found = quarter_pixel_refine(page, p0);
    page.cross_grid[i][j] = found;
    page.cross_cutlevels[i][j] = measure_cutlevel(page, found);
}

} // namespace

void find_crosses(page_state &page)
{
    const page_corners &k = page.corners;
    const point_f64 ul = corner_f64(k.upper_left), ur = corner_f64(k.upper_right);
    const point_f64 ll = corner_f64(k.lower_left), lr = corner_f64(k.lower_right);
    const double format_height = (double)page.page_height;
    const point_f64 row_step = {(lr.x + ll.x - ul.x - ur.x) * 0.5 * cross_pitch / format_height,
                                (lr.y + ll.y - ul.y - ur.y) * 0.5 * cross_pitch / format_height};
    const point_f64 column_step = {(ur.x + lr.x - ul.x - ll.x) * 0.5 * cross_pitch / page_width,
                                   (ur.y + lr.y - ul.y - ll.y) * 0.5 * cross_pitch / page_width};

    fprintf(stderr, "Finding crosses (%u lines), numbers indicate individual cutlevels:\n", cross_rows);
    // Each row's progress line goes out in one piece: standard error is
    // unbuffered, and 65 separate writes cost more than the row's search.
    char line[16 * (cross_cols + 1)];
    for (uint32_t j = 0; j < cross_rows; j++) {
        size_t used = (size_t)snprintf(line, sizeof line, "%3u: ", j);
        for (uint32_t i = 0; i < cross_cols; i++) {
            // Every prediction starts from a found cross: the left neighbour,
            // or for the first column the first cross of the row above.
            point_f64 p;
            if (i > 0)
                p = {page.cross_grid[i - 1][j].x + column_step.x, page.cross_grid[i - 1][j].y + column_step.y};
            else if (j > 0)
                p = {page.cross_grid[0][j - 1].x + row_step.x, page.cross_grid[0][j - 1].y + row_step.y};
            else
                p = first_prediction(k, format_height);
            find_one_cross(page, i, j, p);
            used = append_cross_cutlevel(line, sizeof line, used, page.cross_cutlevels[i][j]);
        }
        fputs(line, stderr);
        fputc('\n', stderr);
    }
}

void mark_point(page_state &page, double x, double y)
{
    const double px = floor(x + 0.5), py = floor(y + 0.5);
    // White at upper left and lower right: the reverse of a cross centre.
    const struct { double dx, dy; uint8_t value; } marks[4] = {
        {0, 0, 255}, {-1, -1, 255}, {-1, 0, 0}, {0, -1, 0}};
    for (const auto &m : marks) {
        double column = px + m.dx, row = py + m.dy;
        if (column >= 0 && column < page.width && row >= 0 && row < page.height)
            page.work[(size_t)row * page.width + (size_t)column] = m.value;
    }
}

void mark_geometry(page_state &page)
{
    const page_corners &k = page.corners;
    for (point_u64 corner : {k.upper_left, k.upper_right, k.lower_left, k.lower_right})
        mark_point(page, (double)corner.x, (double)corner.y);
    const point_f64 h = page.horizontal_vector, v = page.vertical_vector;
    const double c = page.chalf;
    for (uint32_t j = 0; j < cross_rows; j++) {
        for (uint32_t i = 0; i < cross_cols; i++) {
            const point_f64 g = page.cross_grid[i][j];
            mark_point(page, g.x, g.y);
            mark_point(page, g.x + c * h.x, g.y + c * h.y);
            mark_point(page, g.x - c * h.x, g.y - c * h.y);
            mark_point(page, g.x + c * v.x, g.y + c * v.y);
            mark_point(page, g.x - c * v.x, g.y - c * v.y);
        }
    }
}
