// find_crosses.cpp - locating the 65 x 93 registration crosses of a scan.
//
// Reads the page record after the geometry estimate: `image` (after dirt
// removal), `cutlevel`, the corners, the bit sizes, the page axes, `chalf`,
// `quadrant_half` and the page's `search_area` table.  Writes `cross_grid`
// (the centre of every cross in image coordinates) and `cross_cutlevels` (a
// black/white level measured around every cross), and prints one progress
// line per row of crosses.  Each cross is predicted from the one found just
// before it, searched on a whole-pixel grid by correlating the cross pattern
// over running sums, and refined on a quarter-pixel grid.  A sheet on which
// hardly any cross stands out from the paper is not a page: it fails with
// `crosses_not_found` and the count in `crosses_seen`, instead of reading
// its blank paper as zero bits (a valid codeword).  mark_geometry draws the
// corners and crosses into `work` for the debug image.
//
// Every float/double step below follows a fixed order of operations: the
// searches compare scores for exact ties, so a reordered sum could move a
// cross and change decoded bits.  The refinement scores and the samples
// along the page axes go four at a time through simd/ where it can take
// them, by the same operations lane by lane; this file is the plain way of
// every step, and what simd/ leaves.
#include "bilinear.h"
#include "simd/simd.h"
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
    unpaprel_assert(xpos >= -c, "xpos>=-chalf");
    unpaprel_assert(xpos <= c, "xpos<=chalf");
    unpaprel_assert(ypos >= -c, "ypos>=-chalf");
    unpaprel_assert(ypos <= c, "ypos<=chalf");
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

// Groups of four points are offered to the four-lane scoring (simd/), and
// scored one point at a time where it cannot take them; a last group that
// is not full repeats its last point in the spare lanes, whose scores are
// dropped.
void quadrant_scores(const page_state &page, const point_f64 *points, uint32_t count, float *scores)
{
    for (uint32_t first = 0; first < count; first += 4) {
        const uint32_t real = std::min<uint32_t>(4, count - first);
        point_f64 group[4];
        float four[4];
        for (uint32_t k = 0; k < 4; k++)
            group[k] = points[first + std::min(k, real - 1)];
        const bool side_by_side = simd_four_scores(page, group, four);
        for (uint32_t k = 0; k < real; k++)
            scores[first + k] =
                side_by_side ? four[k] : quadrant_score(page, group[k].x, group[k].y);
    }
}

namespace {

// Four samples along the page axes (offset_frame in bilinear.h), by the
// four-lane sampling where all four points lie inside, else one by one.
void sample_four_offsets(const sample_grid &g, const offset_frame &f, double a, double b, double da,
                         double db, float *out)
{
    if (simd_four_offsets(g, f, a, b, da, db, out))
        return;
    for (int k = 0; k < 4; k++) {
        const double ak = a + k * da, bk = b + k * db;
        out[k] =
            bilinear_at(g, (ak * f.h.x + f.p.x) + bk * f.v.x, (ak * f.h.y + f.p.y) + bk * f.v.y);
    }
}

} // namespace

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
                int64_t d = (int64_t)s[k] - level; // the integer part; equal counts for neither
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
// chosen from the stored scores; its score goes to `best_score` if given.
point_f64 quarter_pixel_refine(const page_state &page, point_f64 p0, float *best_score)
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
    if (best_score)
        *best_score = best;
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

// How far the print's black lies below the paper's white: the mean of the
// pixels at or above fill_cutlevel less the mean of those below it.  0 when
// either side is empty.
double print_contrast(const page_state &page)
{
    double dark_sum = 0, dark_count = 0, light_sum = 0, light_count = 0;
    for (unsigned v = 0; v < 256; v++) {
        const double count = (double)page.histogram[v];
        if (v < page.fill_cutlevel) {
            dark_sum += v * count;
            dark_count += count;
        } else {
            light_sum += v * count;
            light_count += count;
        }
    }
    if (dark_count == 0 || light_count == 0)
        return 0;
    return light_sum / light_count - dark_sum / dark_count;
}

// A cross's score is its two light quadrants less its two dark ones, summed
// over 2 quadrant_half^2 samples each: that many times the difference of
// their means.  A printed cross differs by about the print's whole contrast
// (measured: at least 0.3 of it on the simulator's hardest readable scans,
// turned by 30 degrees, blurred or at 1.2 scan pixels per page pixel); blank
// paper or a solid blot by under a hundredth.  An eighth lies far from both.
bool cross_stands_out(const page_state &page, float score, double contrast)
{
    const double n = page.quadrant_half;
    return contrast > 0 && (double)score / (2 * n * n) >= contrast / 8;
}

bool find_one_cross(page_state &page, uint32_t i, uint32_t j, point_f64 prediction, double contrast)
{
    page.cross_grid[i][j] = prediction;
    fill_search_area(page, prediction);
    point_f64 p0 = whole_pixel_search(page, prediction);
    float score = 0;
    point_f64 found = quarter_pixel_refine(page, p0, &score);
    page.cross_grid[i][j] = found;
    page.cross_cutlevels[i][j] = measure_cutlevel(page, found);
    return cross_stands_out(page, score, contrast);
}

// Fewer than a quarter of the crosses standing out is far from any page
// that can be read: the bits of every codeword run down the whole page, so
// the code cannot mend a page that lost most of its crosses, and a page
// whose crosses are all missing is blank.  Below one scan pixel per two
// page pixels the quadrants hold no sample (quadrant_half 0) and nothing
// can be told: such a frame's bits are read as they are.
bool crosses_missing(const page_state &page)
{
    return page.quadrant_half > 0 && page.crosses_seen * 4 < cross_cols * cross_rows;
}

} // namespace

page_status find_crosses(page_state &page)
{
    const page_corners &k = page.corners;
    const point_f64 ul = corner_f64(k.upper_left), ur = corner_f64(k.upper_right);
    const point_f64 ll = corner_f64(k.lower_left), lr = corner_f64(k.lower_right);
    const double format_height = (double)page.page_height;
    const point_f64 row_step = {(lr.x + ll.x - ul.x - ur.x) * 0.5 * cross_pitch / format_height,
                                (lr.y + ll.y - ul.y - ur.y) * 0.5 * cross_pitch / format_height};
    const point_f64 column_step = {(ur.x + lr.x - ul.x - ll.x) * 0.5 * cross_pitch / page_width,
                                   (ur.y + lr.y - ul.y - ll.y) * 0.5 * cross_pitch / page_width};

    fprintf(stderr, "Finding crosses (%u lines), numbers indicate individual cutlevels:\n",
            cross_rows);
    // Each row's progress line goes out in one piece: standard error is
    // unbuffered, and 65 separate writes cost more than the row's search.
    char line[16 * (cross_cols + 1)];
    const double contrast = print_contrast(page);
    page.crosses_seen = 0;
    for (uint32_t j = 0; j < cross_rows; j++) {
        size_t used = (size_t)snprintf(line, sizeof line, "%3u: ", j);
        for (uint32_t i = 0; i < cross_cols; i++) {
            // Every prediction starts from a found cross: the left neighbour,
            // or for the first column the first cross of the row above.
            point_f64 p;
            if (i > 0)
                p = {page.cross_grid[i - 1][j].x + column_step.x,
                     page.cross_grid[i - 1][j].y + column_step.y};
            else if (j > 0)
                p = {page.cross_grid[0][j - 1].x + row_step.x,
                     page.cross_grid[0][j - 1].y + row_step.y};
            else
                p = first_prediction(k, format_height);
            page.crosses_seen += find_one_cross(page, i, j, p, contrast);
            used = append_cross_cutlevel(line, sizeof line, used, page.cross_cutlevels[i][j]);
        }
        fputs(line, stderr);
        fputc('\n', stderr);
    }
    return crosses_missing(page) ? crosses_not_found : page_decoded;
}

void mark_point(page_state &page, double x, double y)
{
    const double px = floor(x + 0.5), py = floor(y + 0.5);
    // White at upper left and lower right: the reverse of a cross centre.
    const struct {
        double dx, dy;
        uint8_t value;
    } marks[4] = {{0, 0, 255}, {-1, -1, 255}, {-1, 0, 0}, {0, -1, 0}};
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
