// Cross search: the interpolation, the correlation against a brute-force
// window sum, the tie rules of both searches, the cutlevel measurement, the
// progress table and the debug marks; then a whole page of crosses found
// from deliberately poor predictions.
#include "bilinear.h"
#include "stage_internals.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

namespace {

void set_pixel(test_page &t, uint32_t x, uint32_t y, uint8_t value)
{
    t.image[(size_t)y * t.page.width + x] = value;
}

void use_search_area(test_page &t, int32_t chalf_value)
{
    t.page.chalf = chalf_value;
    size_t side = 4 * (size_t)chalf_value + 1;
    t.search.assign(side * side, 0.0f);
    t.page.search_area = t.search.data();
    t.page.horizontal_vector = {1, 0};
    t.page.vertical_vector = {0, 1};
}

TEST(BilinearSample, WholePointsEdgesAndExtrapolation)
{
    auto t = make_test_page(3, 2);
    const uint8_t values[6] = {10, 20, 40, 60, 100, 200}; // row 0, then row 1
    for (int i = 0; i < 6; i++)
        t->image[i] = values[i];
    const page_state &p = t->page;
    EXPECT_EQ(bilinear_sample(p, 0, 0), 10.0f);
    EXPECT_EQ(bilinear_sample(p, 1, 1), 100.0f);
    // The missing right and lower neighbours weigh 0 at the last column/row.
    EXPECT_EQ(bilinear_sample(p, 2, 0), 40.0f);
    EXPECT_EQ(bilinear_sample(p, 2, 1), 200.0f);
    EXPECT_EQ(bilinear_sample(p, 0.5, 0), 15.0f);
    EXPECT_EQ(bilinear_sample(p, 0.25, 0.5), 41.25f); // (25 + 45) / 2 + (5 + 7.5) / 2
    // Beyond the last column the white outside comes in.
    EXPECT_EQ(bilinear_sample(p, 2.5, 0), 147.5f);
    EXPECT_EQ(bilinear_sample(p, 7, 9), 255.0f);
    // Negative coordinates extrapolate from column 0 and 1 (row 0 and 1).
    EXPECT_EQ(bilinear_sample(p, -0.5, 0), 5.0f);
    EXPECT_EQ(bilinear_sample(p, 0, -1), 10.0f - 50.0f);
}

// The running sums and the nine-read correlation against the plain sum of
// the window's quadrants over the raw samples.
TEST(CrossCorrelSearch, AgreesWithQuadrantSums)
{
    auto t = make_test_page(40, 40);
    srand(7);
    for (auto &v : t->image)
        v = (uint8_t)(rand() % 256);
    use_search_area(*t, 2);
    t->page.cutlevel = 90;
    const point_f64 prediction = {17, 21};
    fill_search_area(t->page, prediction);
    const int c = 2;
    for (int xpos = -c; xpos <= c; xpos++)
        for (int ypos = -c; ypos <= c; ypos++) {
            long expected = 0;
            for (int a = xpos - c; a < xpos + c; a++)
                for (int b = ypos - c; b < ypos + c; b++) {
                    long raw = t->image[(size_t)(21 + b) * 40 + 17 + a] - 90;
                    bool left = a <= xpos - 1, upper = b <= ypos - 1;
                    expected += (left != upper) ? raw : -raw;
                }
            EXPECT_EQ(cross_correl_search(t->page, xpos, ypos), (float)expected)
                << xpos << "," << ypos;
        }
}

TEST(CrossCorrelSearch, ZeroChalfKeepsPrediction)
{
    auto t = make_test_page(10, 10);
    set_pixel(*t, 3, 3, 0);
    use_search_area(*t, 0);
    fill_search_area(t->page, {3, 3});
    EXPECT_EQ(t->page.search_area[0], 0.0f);
    EXPECT_EQ(cross_correl_search(t->page, 0, 0), 0.0f);
    point_f64 found = whole_pixel_search(t->page, {3, 3});
    EXPECT_EQ(found.x, 3.0);
    EXPECT_EQ(found.y, 3.0);
}

// Raw samples (value - cutlevel) / 50 around the prediction (8, 8), indexed
// [b + 2][a + 2]; point symmetric, so that the offsets (-1, 1) and (1, -1)
// score the same maximum and (0, 0) less.
TEST(WholePixelSearch, TieKeepsFirstInOuterXOrder)
{
    const int raw[4][4] = {{1, -1, -1, 1}, {0, -1, -1, -1}, {-1, -1, -1, 0}, {1, -1, -1, 1}};
    auto t = make_test_page(16, 16);
    t->page.cutlevel = 100;
    for (int b = -2; b < 2; b++)
        for (int a = -2; a < 2; a++)
            set_pixel(*t, 8 + a, 8 + b, (uint8_t)(100 + 50 * raw[b + 2][a + 2]));
    use_search_area(*t, 1);
    fill_search_area(t->page, {8, 8});
    EXPECT_EQ(cross_correl_search(t->page, -1, 1), 100.0f);
    EXPECT_EQ(cross_correl_search(t->page, 1, -1), 100.0f);
    EXPECT_EQ(cross_correl_search(t->page, 0, 0), 0.0f);
    point_f64 found = whole_pixel_search(t->page, {8, 8});
    EXPECT_EQ(found.x, 7.0);
    EXPECT_EQ(found.y, 9.0);
}

TEST(WholePixelSearch, UniformFieldKeepsPrediction)
{
    auto t = make_test_page(30, 30);
    use_search_area(*t, 3);
    fill_search_area(t->page, {12.25, 14.5});
    point_f64 found = whole_pixel_search(t->page, {12.25, 14.5});
    EXPECT_EQ(found.x, 12.25);
    EXPECT_EQ(found.y, 14.5);
}

// A cross whose quadrants meet between pixels 19 and 20 (both axes) scores
// symmetrically about x = 20.  From P0 = 20.375 the candidates 19.875
// (iu = -2) and 20.125 (iu = -1) lie an eighth of a pixel on either side of
// the peak; with every sample a multiple of 1/8 the two scores tie exactly,
// and the earlier candidate wins.
TEST(QuarterPixelRefine, TieKeepsFirstCandidate)
{
    auto t = make_test_page(40, 40);
    t->page.quadrant_half = 4;
    t->page.horizontal_vector = {1, 0};
    t->page.vertical_vector = {0, 1};
    for (uint32_t y = 14; y < 26; y++)
        for (uint32_t x = 14; x < 26; x++)
            set_pixel(*t, x, y, (x < 20) == (y < 20) ? 0 : 255);
    const point_f64 p0 = {20.375, 20};
    ASSERT_EQ(quadrant_score(t->page, 19.875, 20), quadrant_score(t->page, 20.125, 20));
    ASSERT_GT(quadrant_score(t->page, 19.875, 20), quadrant_score(t->page, 20.375, 20));
    point_f64 found = quarter_pixel_refine(t->page, p0);
    EXPECT_EQ(found.x, 19.875);
    EXPECT_EQ(found.y, 20.0);
}

TEST(QuarterPixelRefine, ZeroQuadrantHalfKeepsP0)
{
    auto t = make_test_page(20, 20);
    set_pixel(*t, 9, 9, 0);
    t->page.quadrant_half = 0;
    t->page.horizontal_vector = {1, 0};
    t->page.vertical_vector = {0, 1};
    EXPECT_EQ(quadrant_score(t->page, 9.5, 9.5), 0.0f);
    point_f64 found = quarter_pixel_refine(t->page, {9.5, 9.75});
    EXPECT_EQ(found.x, 9.5);
    EXPECT_EQ(found.y, 9.75);
}

TEST(MeasureCutlevel, LevelsAroundACross)
{
    auto t = make_test_page(30, 30);
    t->page.bit_width = t->page.bit_height = 1; // window of 5 x 5 samples
    t->page.horizontal_vector = {1, 0};
    t->page.vertical_vector = {0, 1};
    t->page.cutlevel = 100;
    // No dark sample: the global cutlevel.
    EXPECT_EQ(measure_cutlevel(t->page, {10, 10}), 100.0f);
    // Samples whose integer part equals the cutlevel count for neither side.
    for (uint32_t y = 8; y <= 12; y++)
        for (uint32_t x = 8; x <= 12; x++)
            set_pixel(*t, x, y, 100);
    set_pixel(*t, 10, 10, 40);
    EXPECT_EQ(measure_cutlevel(t->page, {10, 10}), 100.0f);
    // One sample 60 below and the others 130: white 230, black 40.
    for (uint32_t y = 8; y <= 12; y++)
        for (uint32_t x = 8; x <= 12; x++)
            if (x != 10 || y != 10)
                set_pixel(*t, x, y, 230);
    EXPECT_EQ(measure_cutlevel(t->page, {10, 10}), 230.0f * 0.06f + 40.0f * 0.94f);
}

TEST(ProgressTable, CutlevelRounding)
{
    char line[16];
    size_t used = 0;
    for (float level : {127.5f, 127.49f, 5.0f})
        used = append_cross_cutlevel(line, sizeof line, used, level);
    EXPECT_EQ(std::string(line, used), "80 7f 05 ");
    // A full line keeps its terminating zero and drops what does not fit.
    used = append_cross_cutlevel(line, sizeof line, used, 255.0f);
    used = append_cross_cutlevel(line, sizeof line, used, 1.0f);
    EXPECT_EQ(used, sizeof line - 1);
    EXPECT_EQ(std::string(line), "80 7f 05 ff 01 ");
}

TEST(MarkPoint, CheckerAndImageEdge)
{
    auto t = make_test_page(4, 3);
    std::fill(t->work.begin(), t->work.end(), 77);
    mark_point(t->page, 0.2, 0.2);
    for (size_t i = 0; i < t->work.size(); i++)
        EXPECT_EQ(t->work[i], i == 0 ? 255 : 77) << i;

    std::fill(t->work.begin(), t->work.end(), 77);
    mark_point(t->page, 2.6, 1.4); // the pixel corner (3, 1)
    EXPECT_EQ(t->work[1 * 4 + 3], 255);
    EXPECT_EQ(t->work[0 * 4 + 2], 255);
    EXPECT_EQ(t->work[1 * 4 + 2], 0);
    EXPECT_EQ(t->work[0 * 4 + 3], 0);
    EXPECT_EQ(t->work[2 * 4 + 3], 77);
}

TEST(CrossAssertions, ReportFunctionSourceAndExpression)
{
    auto t = make_test_page(10, 10);
    use_search_area(*t, 1);
    EXPECT_DEATH(cross_correl_search(t->page, 2, 0),
                 "unpaprel: unpaprel:[0-9]+: cross_correl_search: Assertion `xpos<=chalf' failed");
    EXPECT_DEATH(cross_correl_search(t->page, 0, -2),
                 "cross_correl_search: Assertion `ypos>=-chalf' failed");
}

// A whole page at 2 input pixels per page pixel with data on it; the corners
// are given one pixel too far right and down, so every first prediction is
// off and the searches have to pull it back onto the crosses.
TEST(FindCrosses, FindsEveryCrossOfADrawnPage)
{
    std::vector<uint32_t> words(codewords_per_page);
    srand(11);
    for (auto &w : words)
        w = (uint32_t)rand() & 0xFFF;
    auto t = draw_test_page(2, 12, words);
    for (point_u64 *c : {&t->page.corners.upper_left, &t->page.corners.upper_right,
                         &t->page.corners.lower_left, &t->page.corners.lower_right}) {
        c->x += 1;
        c->y += 1;
    }
    testing::internal::CaptureStderr();
    const page_status status = find_crosses(t->page);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, page_decoded);
    EXPECT_EQ(t->page.crosses_seen, cross_cols * cross_rows);

    for (uint32_t j = 0; j < cross_rows; j++)
        for (uint32_t i = 0; i < cross_cols; i++) {
            ASSERT_EQ(t->page.cross_grid[i][j].x, 12 + 2 * (24.0 * i + 5)) << i << "," << j;
            ASSERT_EQ(t->page.cross_grid[i][j].y, 12 + 2 * (24.0 * j + 5)) << i << "," << j;
            // A window of 9 x 9 samples inside the cross: white 255, black 0.
            ASSERT_FLOAT_EQ(t->page.cross_cutlevels[i][j], 255 * 0.06f);
        }
    std::string first_line =
        "Finding crosses (93 lines), numbers indicate individual cutlevels:\n  0: ";
    for (uint32_t i = 0; i < cross_cols; i++)
        first_line += "0f ";
    first_line += "\n";
    EXPECT_EQ(err.substr(0, first_line.size()), first_line);
    EXPECT_NE(err.find("\n 92: 0f "), std::string::npos);
    EXPECT_EQ(err.size(), first_line.size() + 92 * (5 + 65 * 3 + 1));

    // The debug marks: a 2 x 2 checker on each cross centre and at chalf
    // (3 input pixels) from it along both axes; the rest of work untouched.
    std::fill(t->work.begin(), t->work.end(), 77);
    mark_geometry(t->page);
    auto work_at = [&](int64_t x, int64_t y) {
        return t->work[(size_t)y * t->page.width + (size_t)x];
    };
    const int64_t cx = 12 + 2 * (24 * 7 + 5), cy = 12 + 2 * (24 * 3 + 5);
    for (int64_t d : {0, 3, -3}) {
        EXPECT_EQ(work_at(cx + d, cy), 255);
        EXPECT_EQ(work_at(cx + d - 1, cy - 1), 255);
        EXPECT_EQ(work_at(cx + d - 1, cy), 0);
        EXPECT_EQ(work_at(cx + d, cy - 1), 0);
        EXPECT_EQ(work_at(cx, cy + d), 255);
    }
    EXPECT_EQ(work_at(cx + 1, cy + 1), 77);
    EXPECT_EQ(work_at(13, 13), 255); // the shifted upper left corner
    EXPECT_EQ(work_at(12, 13), 0);
}

// The refinement against trying the 25 candidates one after another with
// quadrant_score, on a lopsided cross under turned axes, from points well
// inside (scored side by side) and near the edges (scored one by one).
TEST(QuarterPixelRefine, PicksWhatScoringEachCandidateInTurnPicks)
{
    auto t = make_test_page(60, 50);
    for (uint32_t y = 0; y < 50; y++)
        for (uint32_t x = 0; x < 60; x++)
            set_pixel(*t, x, y, (uint8_t)((x < 27) == (y < 22) ? 20 + x : 230 - y - (x * y) % 7));
    t->page.quadrant_half = 5;
    t->page.cutlevel = 101;
    t->page.horizontal_vector = {0.96, 0.28};
    t->page.vertical_vector = {-0.28, 0.96};
    const point_f64 h = t->page.horizontal_vector, v = t->page.vertical_vector;
    int moved = 0;
    for (point_f64 p0 : {point_f64{27.3, 22.1}, point_f64{26.2, 21.4}, point_f64{28.05, 23.6},
                         point_f64{4.5, 22.0}, point_f64{55.75, 46.5}}) {
        float best = quadrant_score(t->page, p0.x, p0.y);
        double bu = 0, bv = 0;
        for (int iu = -2; iu <= 2; iu++)
            for (int jv = -2; jv <= 2; jv++) {
                const double qx = (jv * 0.25) * v.x + ((iu * 0.25) * h.x + p0.x);
                const double qy = (jv * 0.25) * v.y + ((iu * 0.25) * h.y + p0.y);
                const float score = quadrant_score(t->page, qx, qy);
                if (score > best) {
                    best = score;
                    bu = iu * 0.25;
                    bv = jv * 0.25;
                }
            }
        float score = 0;
        const point_f64 found = quarter_pixel_refine(t->page, p0, &score);
        EXPECT_EQ(score, best);
        EXPECT_EQ(found.x, (bu * h.x + p0.x) + bv * v.x) << p0.x << ", " << p0.y;
        EXPECT_EQ(found.y, (bu * h.y + p0.y) + bv * v.y) << p0.x << ", " << p0.y;
        moved += bu != 0 && bv != 0;
    }
    EXPECT_GE(moved, 2); // the fixture moves points along both axes
}

// A sheet is a page only where its crosses stand out from the paper: one
// whose data area is wiped blank or black has none, and one that keeps
// crosses on its lowest rows only is refused below a quarter of all 6045
// (24 rows of 65 are 1560, 23 rows 1495).
TEST(FindCrosses, ASheetWhoseCrossesDoNotStandOutIsNoPage)
{
    const struct {
        uint8_t wipe;
        uint32_t rows_kept;
        page_status status;
        uint32_t seen;
    } cases[] = {{255, 0, crosses_not_found, 0},
                 {0, 0, crosses_not_found, 0},
                 {255, 24, page_decoded, 1560},
                 {255, 23, crosses_not_found, 1495},
                 {0, 24, page_decoded, 1560}};
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << "wipe " << (int)c.wipe << ", rows " << c.rows_kept);
        auto t = draw_test_page(2, 12, {});
        // Data-area rows 0 .. 24 * (93 - kept) - 1 end just above the first
        // kept row of crosses.
        const uint32_t wiped_rows = 24 * (cross_rows - c.rows_kept);
        for (uint32_t y = 0; y < 2 * std::min(wiped_rows, data_height); y++)
            for (uint32_t x = 0; x < 2 * data_width; x++)
                set_pixel(*t, 12 + 4 + x, 12 + 4 + y, c.wipe);
        set_levels(*t);
        testing::internal::CaptureStderr();
        const page_status status = find_crosses(t->page);
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(status, c.status);
        EXPECT_EQ(t->page.crosses_seen, c.seen);
    }
}

// Below one scan pixel per two page pixels a cross's quadrants hold no
// sample: nothing can be told, and the page is not refused for it.
TEST(FindCrosses, AFrameTooSmallToMeasureIsNotRefused)
{
    auto t = draw_test_page(1, 4, {});
    t->page.quadrant_half = 0;
    testing::internal::CaptureStderr();
    const page_status status = find_crosses(t->page);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(status, page_decoded);
    EXPECT_EQ(t->page.crosses_seen, 0u);
}

} // namespace
