// Dirt, light and noise: what each may change and by how much.
#include "blemishes.h"
#include "page_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// A small sheet: paper with a dark band (toner) across the middle.
sheet banded_sheet(const scan_options &o, uint32_t width, uint32_t height)
{
    sheet s{};
    EXPECT_TRUE(alloc_sheet(width, height, &s));
    for (uint32_t y = 0; y < height; y++)
        for (uint32_t x = 0; x < width; x++)
            s.pixels[y * width + x] =
                reflectance_sample(y > height / 3 && y < height / 2 ? o.toner : o.paper);
    return s;
}

scan_geometry small_geometry(const scan_options &o)
{
    scan_geometry g;
    EXPECT_TRUE(make_geometry(o, &g));
    return g;
}

scan_options small_options()
{
    scan_options o;
    o.scale = 0.5;
    o.sheet_width = 800;
    o.sheet_height = 1200;
    o.dust = 0;
    return o;
}

TEST(Dirt, DustAndHairsOnlyDarkenAndScratchesOnlyLightenToPaper)
{
    scan_options o = small_options();
    scan_geometry g = small_geometry(o);
    sheet clean = banded_sheet(o, 800, 1200);
    const size_t count = 800 * 1200;
    const uint16_t paper = reflectance_sample(o.paper);
    struct effect {
        double dust;
        uint32_t hairs, scratches;
        int direction; // -1 darker, +1 lighter
    };
    for (const effect &e : {effect{40, 0, 0, -1}, effect{0, 5, 0, -1}, effect{0, 0, 3, +1}}) {
        o.dust = e.dust, o.hairs = e.hairs, o.scratches = e.scratches;
        sheet s = banded_sheet(o, 800, 1200);
        ASSERT_TRUE(add_dirt(&s, o, g, 99));
        size_t changed = 0;
        for (size_t i = 0; i < count; i++) {
            if (s.pixels[i] == clean.pixels[i])
                continue;
            changed++;
            if (e.direction < 0)
                ASSERT_LT(s.pixels[i], clean.pixels[i]);
            else
                ASSERT_TRUE(s.pixels[i] > clean.pixels[i] && s.pixels[i] <= paper);
        }
        EXPECT_GT(changed, 20u) << e.dust << " " << e.hairs << " " << e.scratches;
        free_sheet(&s);
    }
    free_sheet(&clean);
}

TEST(Dirt, DustDensityIsPerSquareInchOfSheet)
{
    scan_options o = small_options();
    o.dust = 2.0;
    o.dust_size = 0.5; // every speck a disc of radius 0.5: at most 4 pixels each
    o.dpi = 100;       // 8 x 12 inches: 192 specks
    scan_geometry g = small_geometry(o);
    sheet s{};
    ASSERT_TRUE(alloc_sheet(800, 1200, &s));
    for (size_t i = 0; i < 800 * 1200; i++)
        s.pixels[i] = 60000;
    ASSERT_TRUE(add_dirt(&s, o, g, 5));
    size_t dark = 0;
    for (size_t i = 0; i < 800 * 1200; i++)
        dark += s.pixels[i] < 60000;
    EXPECT_GE(dark, 192u); // each speck's centre pixel is fully covered
    EXPECT_LE(dark, 192u * 4);
    free_sheet(&s);
}

// A sheet of solid toner, the page's streaks drawn on it, and where the
// page's points fall on it.
struct streaked {
    scan_options options = small_options();
    scan_geometry geometry;
    sheet s{};
    uint16_t toner, paper;

    explicit streaked(std::vector<streak_line> lines)
    {
        for (const streak_line &line : lines)
            options.streaks[options.streak_count++] = line;
        geometry = small_geometry(options);
        EXPECT_TRUE(alloc_sheet(800, 1200, &s));
        toner = reflectance_sample(options.toner);
        paper = reflectance_sample(options.paper);
        for (size_t i = 0; i < 800 * 1200; i++)
            s.pixels[i] = toner;
        EXPECT_TRUE(add_streaks(&s, options, geometry));
    }
    ~streaked() { free_sheet(&s); }
    // The sheet pixel under page point (u, v).
    uint16_t at_page(double u, double v) const
    {
        double x = 0, y = 0;
        map_point(geometry.page_to_scan, u, v, &x, &y);
        return s.pixels[(size_t)y * 800 + (size_t)x];
    }
};

TEST(Streaks, AColumnIsPaperFromAboveThePageToBelowItAndNowhereElse)
{
    // 8 page pixels at 0.5 scan pixels each: 4 scan pixels wide.
    streaked t({{false, 0.3, 0.0, 8.0}});
    const double u = 0.3 * page_width;
    for (double v : {-3.0, 0.5, 1.5, 1000.0, page_height - 1.0, page_height + 3.0})
        EXPECT_EQ(t.at_page(u, v), t.paper) << v;
    for (double off : {-14.0, 14.0})
        EXPECT_EQ(t.at_page(u + off, 1000.0), t.toner) << off;
    EXPECT_EQ(t.at_page(u, -12.0), t.toner); // no further than the frame needs
    EXPECT_EQ(t.at_page(u, page_height + 12.0), t.toner);
    size_t lightened = 0;
    for (size_t i = 0; i < 800 * 1200; i++)
        lightened += t.s.pixels[i] != t.toner;
    // 4 scan pixels by (the page's 2242 + 8 page pixels) / 2, with rims.
    EXPECT_GT(lightened, 4u * 1120);
    EXPECT_LT(lightened, 6u * 1130);
}

TEST(Streaks, TurnedLinesMoveTheirFarEndsRightAndDown)
{
    // The column's bottom end 2 degrees to the right of its top end; the
    // row's right end 1.5 degrees above its left end (a negative angle).
    streaked t({{false, 0.3, 2.0, 8.0}, {true, 0.6, -1.5, 8.0}});
    const double column_u = 0.3 * page_width, row_v = 0.6 * page_height;
    const double column_shift = tan(2.0 * M_PI / 180.0) * page_height / 2;
    const double row_shift = tan(-1.5 * M_PI / 180.0) * page_width / 2;
    EXPECT_EQ(t.at_page(column_u - column_shift, 0.5), t.paper);
    EXPECT_EQ(t.at_page(column_u + column_shift, page_height - 0.5), t.paper);
    EXPECT_EQ(t.at_page(column_u + column_shift, 0.5), t.toner);
    EXPECT_EQ(t.at_page(0.5, row_v - row_shift), t.paper);
    EXPECT_EQ(t.at_page(page_width - 0.5, row_v + row_shift), t.paper);
    EXPECT_EQ(t.at_page(page_width - 0.5, row_v - row_shift), t.toner);
}

TEST(Streaks, PaperUnderAStreakStaysAsItWas)
{
    scan_options o = small_options();
    o.streaks[o.streak_count++] = {true, 0.5, 0.0, 20.0};
    scan_geometry g = small_geometry(o);
    sheet s = banded_sheet(o, 800, 1200);
    sheet clean = banded_sheet(o, 800, 1200);
    ASSERT_TRUE(add_streaks(&s, o, g));
    size_t lightened = 0; // the streak runs along the band's lower edge
    for (size_t i = 0; i < 800 * 1200; i++) {
        if (clean.pixels[i] != reflectance_sample(o.toner)) {
            ASSERT_EQ(s.pixels[i], clean.pixels[i]) << i;
        }
        lightened += s.pixels[i] != clean.pixels[i];
    }
    EXPECT_GT(lightened, 400u * 3);
    free_sheet(&s);
    free_sheet(&clean);
}

TEST(Light, IlluminationFallsTowardsTheRightAndTheEnds)
{
    EXPECT_NEAR(illumination_gain(0.1, 1000, 1000, 0, 500), 1.0, 1e-3);
    EXPECT_NEAR(illumination_gain(0.1, 1000, 1000, 999, 0), 0.9, 1e-3);
    EXPECT_NEAR(illumination_gain(0.1, 1000, 1000, 999, 500), 0.94, 1e-3);
    EXPECT_NEAR(illumination_gain(0.0, 1000, 1000, 999, 0), 1.0, 1e-12);
}

TEST(Light, NoiseHasTheAskedSpreadAndNoBias)
{
    scan_options o = small_options();
    o.illumination = 0;
    o.noise = 0.02;
    sheet s{};
    ASSERT_TRUE(alloc_sheet(500, 400, &s));
    for (size_t i = 0; i < 500 * 400; i++)
        s.pixels[i] = 32768;
    add_light_and_noise(&s, o, 7);
    double sum = 0, squares = 0;
    for (size_t i = 0; i < 500 * 400; i++) {
        double d = (s.pixels[i] - 32768.0) / 65535.0;
        sum += d;
        squares += d * d;
    }
    double mean = sum / 200000, spread = sqrt(squares / 200000 - mean * mean);
    EXPECT_NEAR(mean, 0.0, 0.0005);
    EXPECT_NEAR(spread, 0.02, 0.0005);
    free_sheet(&s);
}

} // namespace
