// The optics stage: the edge profile, exact placement of page pixels on the
// scan, the dot-gain geometry (union of grown squares, not a sum), and the
// blurred coverage against a brute-force integration that shares none of
// the strip machinery.
#include "optics.h"
#include "page_format.h"
#include "scan_geometry.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

std::vector<uint8_t> white_page()
{
    return std::vector<uint8_t>(page_pixels, 255);
}

void blacken(std::vector<uint8_t> &page, uint32_t x, uint32_t y)
{
    page[(size_t)y * page_width + x] = 0;
}

scan_options sharp_options(double dot_gain)
{
    scan_options o;
    o.blur = 0.0;
    o.dot_gain = dot_gain;
    return o;
}

TEST(EdgeProfile, ASharpEdgeIsARampOverOneScanPixel)
{
    edge_profile p{};
    ASSERT_TRUE(make_edge_profile(0.0, 1.0 / 3.0, &p));
    EXPECT_FLOAT_EQ(edge_at(p, -1.0), 0.0f);
    EXPECT_FLOAT_EQ(edge_at(p, -1.0 / 6.0), 0.0f);
    EXPECT_NEAR(edge_at(p, -1.0 / 12.0), 0.25f, 1e-6);
    EXPECT_NEAR(edge_at(p, 0.0), 0.5f, 1e-6);
    EXPECT_FLOAT_EQ(edge_at(p, 1.0 / 6.0), 1.0f);
    EXPECT_FLOAT_EQ(edge_at(p, 2.0), 1.0f);
    free_edge_profile(&p);
}

TEST(EdgeProfile, ABlurredEdgeIsTheGaussianIntegral)
{
    edge_profile p{};
    ASSERT_TRUE(make_edge_profile(0.5, 1e-4, &p)); // a vanishing box
    EXPECT_NEAR(edge_at(p, 0.5), 0.841345, 1e-4);  // Phi(1)
    EXPECT_NEAR(edge_at(p, -1.0), 0.022750, 1e-4); // Phi(-2)
    EXPECT_NEAR(edge_at(p, 0.0), 0.5, 1e-6);
    free_edge_profile(&p);
    ASSERT_TRUE(make_edge_profile(0.5, 1.0, &p));
    // Box of width 1 around Phi(t / 0.5): (ramp(1) - ramp(0)) / 1 at t = 0.5.
    // The box average of Phi(t / 0.5) over t = 0 .. 1.
    EXPECT_NEAR(edge_at(p, 0.5), 0.804774, 1e-4);
    free_edge_profile(&p);
}

// Blur 0, dot gain 0, scale 3, no rotation: every one of the 3 x 3 scan
// pixels of a page pixel has exactly the toner or the paper reflectance.
TEST(RenderPage, PagePixelsFillTheirThreeByThreeScanPixelsExactly)
{
    std::vector<uint8_t> page = white_page();
    const uint32_t black[][2] = {{0, 0}, {1, 0}, {0, 2}, {5, 3}, {6, 3}, {6, 4}, {20, 30}, {39, 1}};
    for (const auto &b : black)
        blacken(page, b[0], b[1]);
    scan_options o = sharp_options(0.0);
    scan_geometry g;
    ASSERT_TRUE(make_geometry(o, &g));
    g.sheet_width = g.sheet_height = 300; // render only the top-left corner of the A4 scan
    page_optics optics{};
    ASSERT_TRUE(make_page_optics(page.data(), o, &optics));
    sheet s{};
    ASSERT_TRUE(alloc_sheet(300, 300, &s));
    render_page(optics, o, g, &s);
    const uint16_t toner = reflectance_sample(o.toner), paper = reflectance_sample(o.paper);
    for (uint32_t y = 0; y < 300; y++)
        for (uint32_t x = 0; x < 300; x++) {
            bool on_page = x >= 161 && y >= 145;
            uint32_t px = (x - 161) / 3, py = (y - 145) / 3;
            bool is_black = on_page && page[(size_t)py * page_width + px] == 0;
            ASSERT_EQ(s.pixels[(size_t)y * 300 + x], is_black ? toner : paper) << x << "," << y;
        }
    free_sheet(&s);
    free_page_optics(&optics);
}

TEST(RenderPage, ARotatedPageShowsEachBlockWhereTheTransformPutsIt)
{
    // 2 x 2 blocks: at scale 1.3 the scan pixel nearest a block's centre
    // still looks entirely into the block.
    std::vector<uint8_t> page = white_page();
    const uint32_t blocks[][2] = {{100, 100}, {700, 40}, {30, 900}, {1500, 2200}};
    for (const auto &b : blocks)
        for (uint32_t d = 0; d < 4; d++)
            blacken(page, b[0] + d % 2, b[1] + d / 2);
    scan_options o;
    o.scale = 1.3;
    o.rotate = 30;
    o.sheet_width = 3300;
    o.sheet_height = 3600;
    scan_geometry g;
    ASSERT_TRUE(make_geometry(o, &g));
    page_optics optics{};
    ASSERT_TRUE(make_page_optics(page.data(), o, &optics));
    sheet s{};
    ASSERT_TRUE(alloc_sheet(3300, 3600, &s));
    render_page(optics, o, g, &s);
    const uint16_t middle = reflectance_sample(0.5 * (o.toner + o.paper));
    const uint16_t paper = reflectance_sample(o.paper);
    for (const auto &b : blocks) {
        double x, y, wx, wy;
        map_point(g.page_to_scan, b[0] + 1.0, b[1] + 1.0, &x, &y);
        // Beyond the reach of blur, box and growth (under 2 page pixels).
        map_point(g.page_to_scan, b[0] + 5.5, b[1] - 3.5, &wx, &wy);
        EXPECT_LT(s.pixels[(size_t)y * 3300 + (size_t)x], middle) << b[0] << "," << b[1];
        EXPECT_EQ(s.pixels[(size_t)wy * 3300 + (size_t)wx], paper) << b[0] << "," << b[1];
    }
    free_sheet(&s);
    free_page_optics(&optics);
}

// Coverage seen by a scan pixel centred at page point (u, v), scale 3.
class DotGain : public ::testing::Test {
protected:
    float coverage(const std::vector<uint8_t> &page, double gain, double u, double v)
    {
        page_optics optics{};
        EXPECT_TRUE(make_page_optics(page.data(), sharp_options(gain), &optics));
        float c = coverage_at(optics, u, v);
        free_page_optics(&optics);
        return c;
    }
};

TEST_F(DotGain, AGrownDotCoversItsNeighboursEdges)
{
    std::vector<uint8_t> page = white_page();
    blacken(page, 50, 60);
    const double third = 1.0 / 3.0, sixth = 1.0 / 6.0;
    // The dot covers 50 - 0.25 .. 51.25 on both axes.
    EXPECT_NEAR(coverage(page, 0.5, 50.5, 60.5), 1.0, 1e-4);
    EXPECT_NEAR(coverage(page, 0.5, 51 + sixth, 60.5), 0.75, 1e-4);
    EXPECT_NEAR(coverage(page, 0.5, 51 + sixth, 61 + sixth), 0.75 * 0.75, 1e-4);
    EXPECT_NEAR(coverage(page, 0.5, 50 - sixth, 60.5), 0.75, 1e-4);
    EXPECT_NEAR(coverage(page, 0.5, 51 + third + sixth, 60.5), 0.0, 1e-4);
    EXPECT_NEAR(coverage(page, 0.0, 51 + sixth, 60.5), 0.0, 1e-4);
}

TEST_F(DotGain, OverlappingGrowthIsCountedOnce)
{
    std::vector<uint8_t> page = white_page();
    blacken(page, 50, 60);
    blacken(page, 51, 60);
    // Below the pair, at x = 51 where both dots' growth overlaps: covered in
    // x completely, in y over 61 .. 61.25 of the box 61 .. 61.33 (a sum of
    // the two grown squares would give 1.5, clamped to 1), and over
    // 61.17 .. 61.25 of the box 61.17 .. 61.5 (a sum would give 0.5).
    EXPECT_NEAR(coverage(page, 0.5, 51.0, 61 + 1.0 / 6.0), 0.75, 1e-4);
    EXPECT_NEAR(coverage(page, 0.5, 51.0, 61 + 1.0 / 3.0), 0.25, 1e-4);
}

TEST_F(DotGain, NegativeGainShrinksOnlyTowardsWhite)
{
    std::vector<uint8_t> page = white_page();
    blacken(page, 50, 60);
    blacken(page, 51, 60);
    // The pair shrinks to 50.25 .. 51.75 by 60.25 .. 60.75; no gap at x = 51.
    EXPECT_NEAR(coverage(page, -0.5, 51.0, 60.5), 1.0, 1e-4);
    EXPECT_NEAR(coverage(page, -0.5, 50 + 1.0 / 6.0, 60.5), 0.25, 1e-4);
    EXPECT_NEAR(coverage(page, -0.5, 51.0, 60 + 1.0 / 6.0), 0.25, 1e-4);
}

// Brute force: the toner at a point is decided from the page pixels around
// it (dilation or erosion by a square of half-width |gain| / 2), then the
// Gaussian and the scan pixel's box are integrated on fine grids.
struct reference_model {
    const std::vector<uint8_t> *page;
    double half_gain, sigma, box_x, box_y;

    bool black(int64_t x, int64_t y) const
    {
        if (x < 0 || y < 0 || x >= page_width || y >= page_height)
            return false;
        return (*page)[(size_t)y * page_width + (size_t)x] < 128;
    }

    bool toner(double x, double y) const
    {
        double h = fabs(half_gain);
        int64_t x0 = (int64_t)floor(x - h), x1 = (int64_t)floor(x + h);
        int64_t y0 = (int64_t)floor(y - h), y1 = (int64_t)floor(y + h);
        bool any = false, all = true;
        for (int64_t j = y0; j <= y1; j++)
            for (int64_t i = x0; i <= x1; i++) {
                bool b = black(i, j);
                any = any || b;
                all = all && b;
            }
        return half_gain >= 0 ? any : all;
    }

    double coverage(double u, double v) const
    {
        const int box_steps = 6, gauss_steps = 40;
        double step = 4.0 * sigma / gauss_steps, sum = 0.0, weights = 0.0;
        for (int gy = -gauss_steps; gy <= gauss_steps; gy++)
            for (int gx = -gauss_steps; gx <= gauss_steps; gx++) {
                double dx = gx * step, dy = gy * step;
                double w = exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
                int hits = 0;
                for (int by = 0; by < box_steps; by++)
                    for (int bx = 0; bx < box_steps; bx++)
                        hits += toner(u + dx + box_x * ((bx + 0.5) / box_steps - 0.5),
                                      v + dy + box_y * ((by + 0.5) / box_steps - 0.5));
                sum += w * hits / (box_steps * box_steps);
                weights += w;
            }
        return sum / weights;
    }
};

TEST(BlurredCoverage, AgreesWithABruteForceIntegration)
{
    std::vector<uint8_t> page = white_page();
    uint64_t state = 12345;
    for (uint32_t y = 0; y < 12; y++) // random bits near the page's top-left corner
        for (uint32_t x = 0; x < 14; x++) {
            state = state * 6364136223846793005ull + 1442695040888963407ull;
            if ((state >> 33) & 1)
                blacken(page, x, y);
        }
    for (double gain : {0.3, -0.3}) {
        scan_options o;
        o.scale = 2.7;
        o.aspect = 1.1;
        o.blur = 0.4;
        o.dot_gain = gain;
        page_optics optics{};
        ASSERT_TRUE(make_page_optics(page.data(), o, &optics));
        reference_model ref{&page, gain / 2, o.blur, 1 / o.scale, 1 / (o.scale * o.aspect)};
        const double points[][2] = {{0.1, 0.2}, {-0.4, 3.3}, {2.5, 2.5},   {5.77, 1.05},
                                    {7.0, 9.0}, {10.3, 4.6}, {13.9, 11.2}, {15.1, 6.4}};
        for (const auto &p : points)
            EXPECT_NEAR(coverage_at(optics, p[0], p[1]), ref.coverage(p[0], p[1]), 0.01)
                << "gain " << gain << " at " << p[0] << "," << p[1];
        free_page_optics(&optics);
    }
}

} // namespace
