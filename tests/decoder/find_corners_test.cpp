// Corner search (diagonal order, ties, the reach of m diagonals, the
// cutlevel boundary) and the geometry estimate with its reports.
#include "stage_internals.h"

#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

namespace {

struct corner_case {
    std::unique_ptr<page_state> page = std::make_unique<page_state>();
    std::vector<uint8_t> pixels;
    std::string messages;
    corner_id missing = corner_found;

    corner_case(uint32_t w, uint32_t h) : pixels((size_t)w * h, 255)
    {
        page->width = w;
        page->height = h;
        page->cutlevel = 100;
    }
    void dark(uint32_t x, uint32_t y, uint8_t v = 0) { pixels[(size_t)y * page->width + x] = v; }
    void search()
    {
        page->image = pixels.data();
        messages = capture_stderr([&] { missing = find_corners(*page); });
    }
};

void expect_point(const point_u64 &p, uint64_t x, uint64_t y, const char *name)
{
    EXPECT_EQ(p.x, x) << name;
    EXPECT_EQ(p.y, y) << name;
}

TEST(find_corners, all_white_fails_at_the_upper_left_corner_first)
{
    corner_case c(20, 30);
    c.search();
    EXPECT_EQ(c.missing, upper_left_corner);
    EXPECT_EQ(c.messages, "Searching for the corners.\n");
    EXPECT_STREQ(corner_name(c.missing), "upper left");

    corner_case empty(0, 5);
    empty.search();
    EXPECT_EQ(empty.missing, upper_left_corner);
}

TEST(find_corners, pixel_beyond_m_diagonals_is_invisible)
{
    corner_case c(20, 30); // m = 20; (7, 9) is 21 steps from (19, 0)
    c.dark(7, 9);
    c.search();
    EXPECT_EQ(c.missing, upper_right_corner);
    EXPECT_EQ(c.messages, "Searching for the corners.\n");
    EXPECT_STREQ(corner_name(c.missing), "upper right");
    expect_point(c.page->corners.upper_left, 7, 9, "upper left");
}

TEST(find_corners, wide_image_searches_height_diagonals)
{
    corner_case far(30, 20); // m = 20: (20, 0) is 20 steps from (0, 0)
    far.dark(20, 0);
    far.search();
    EXPECT_EQ(far.missing, upper_left_corner);

    corner_case near(30, 20);
    near.dark(19, 0);
    near.search();
    EXPECT_EQ(near.missing, lower_left_corner); // 19 + 19 from (0, 19)
    EXPECT_STREQ(corner_name(near.missing), "lower left");
    expect_point(near.page->corners.upper_left, 19, 0, "upper left");
    expect_point(near.page->corners.upper_right, 20, 0, "upper right");
}

TEST(find_corners, ties_go_to_the_pixel_nearest_the_top_or_bottom_row)
{
    corner_case c(20, 20);
    c.dark(5, 5);
    c.dark(14, 14);
    c.search();
    ASSERT_EQ(c.missing, corner_found);
    EXPECT_EQ(c.messages, "Searching for the corners.\n");
    const page_corners &k = c.page->corners;
    expect_point(k.upper_left, 5, 5, "upper left");
    expect_point(k.upper_right, 6, 5, "upper right");
    expect_point(k.lower_left, 14, 15, "lower left");
    expect_point(k.lower_right, 15, 15, "lower right");

    capture_stderr([&] { estimate_geometry(*c.page); });
    EXPECT_EQ(c.page->page_left, 5u);
    EXPECT_EQ(c.page->page_top, 5u);
    EXPECT_EQ(c.page->page_right, 15u);
    EXPECT_EQ(c.page->page_bottom, 15u);
    free(c.page->search_area);
}

TEST(find_corners, rectangle_outline_gives_the_outer_pixel_corners)
{
    corner_case c(20, 30);
    for (uint32_t x = 3; x <= 16; x++)
        c.dark(x, 4), c.dark(x, 26);
    for (uint32_t y = 4; y <= 26; y++)
        c.dark(3, y), c.dark(16, y);
    c.dark(0, 29, 100); // equal to the cutlevel: white
    c.dark(19, 0, 99);  // just below: dark, the nearest to the upper right
    c.search();
    ASSERT_EQ(c.missing, corner_found);
    const page_corners &k = c.page->corners;
    expect_point(k.upper_left, 3, 4, "upper left");
    expect_point(k.upper_right, 20, 0, "upper right");
    expect_point(k.lower_left, 3, 27, "lower left");
    expect_point(k.lower_right, 17, 27, "lower right");

    c.dark(19, 0, 255);
    c.search();
    expect_point(c.page->corners.upper_right, 17, 4, "upper right");
}

struct geometry {
    std::unique_ptr<page_state> page = std::make_unique<page_state>();
    std::string messages;
};

// estimate_geometry on a page with the given corners (x, y each).
geometry estimate(const uint64_t (&c)[8], int64_t format_height)
{
    geometry g;
    g.page->corners = {{c[0], c[1]}, {c[2], c[3]}, {c[4], c[5]}, {c[6], c[7]}};
    g.page->page_height = format_height;
    g.messages = capture_stderr([&] { estimate_geometry(*g.page); });
    return g;
}

// Writes every entry of the search area, so that a short allocation shows
// under the address sanitizer.
void fill_search_area_of(page_state &page, size_t floats)
{
    for (size_t i = 0; i < floats; i++)
        page.search_area[i] = 1.0f;
    free(page.search_area);
}

TEST(estimate_geometry, axis_aligned_page_at_one_pixel_per_bit)
{
    geometry g = estimate({0, 0, 1546, 0, 0, 2242, 1546, 2242}, 2242);
    EXPECT_EQ(
        g.messages,
        "One bit is 1 horizontal pixels and 1 vertical pixels.\n"
        "Input horizontal pixel vector 1,0, vertical 0,1. skew 0 deg, perpendicularity 90 deg.\n"
        "Allocating search area of 2 x 2 (4) pixels.\n"
        "Upper corners at 0, 0 and 1546, 0,\nlower corners at 0, 2242 and 1546, 2242.\n"
        "Cross half for searching is 1 x 1 input pixels.\n");
    EXPECT_EQ(g.page->bit_width, 1.0);
    EXPECT_EQ(g.page->bit_height, 1.0);
    EXPECT_EQ(g.page->chalf, 1);
    EXPECT_EQ(g.page->quadrant_half, 2);
    EXPECT_EQ(g.page->horizontal_vector.x, 1.0);
    EXPECT_EQ(g.page->vertical_vector.y, 1.0);
    EXPECT_EQ(g.page->page_right, 1546u);
    EXPECT_EQ(g.page->page_bottom, 2242u);
    fill_search_area_of(*g.page, 25);
}

TEST(estimate_geometry, bit_sizes_two_and_just_below)
{
    geometry two = estimate({0, 0, 3092, 0, 0, 4484, 3092, 4484}, 2242);
    EXPECT_EQ(two.page->chalf, 3);
    EXPECT_EQ(two.page->quadrant_half, 4);
    EXPECT_NE(two.messages.find("One bit is 2 horizontal pixels and 2 vertical pixels.\n"),
              std::string::npos);
    EXPECT_NE(two.messages.find("Allocating search area of 6 x 6 (36) pixels.\n"),
              std::string::npos);
    fill_search_area_of(*two.page, 13 * 13);

    // 6153 / 2 / 1546 and 8923 / 2 / 2242: just under 2 both.
    geometry under = estimate({0, 0, 3077, 0, 0, 4462, 3076, 4461}, 2242);
    EXPECT_EQ(under.page->chalf, 2);
    EXPECT_EQ(under.page->quadrant_half, 4);
    EXPECT_NE(
        under.messages.find("One bit is 1.98997 horizontal pixels and 1.98996 vertical pixels.\n"),
        std::string::npos);
    EXPECT_NE(under.messages.find("Allocating search area of 4 x 4 (16) pixels.\n"),
              std::string::npos);
    fill_search_area_of(*under.page, 9 * 9);
}

TEST(estimate_geometry, rotated_page_reports_its_axes_and_skew)
{
    // Edges along (4, 3) and (-3, 4): a page turned by about 36.87 degrees.
    geometry g = estimate({600, 0, 1000, 300, 300, 400, 700, 700}, 2248);
    EXPECT_NE(g.messages.find("Input horizontal pixel vector 0.8,0.6, vertical -0.6,0.8. "
                              "skew -36.8699 deg, perpendicularity 90 deg.\n"),
              std::string::npos)
        << g.messages;
    EXPECT_DOUBLE_EQ(g.page->bit_width, 400.0 / 1546);
    EXPECT_DOUBLE_EQ(g.page->bit_height, 400.0 / 2248);
    EXPECT_EQ(g.page->page_left, 300u);
    EXPECT_EQ(g.page->page_top, 0u);
    EXPECT_EQ(g.page->page_right, 1000u);
    EXPECT_EQ(g.page->page_bottom, 700u);
    EXPECT_EQ(g.page->chalf, 0); // under one input pixel per bit
    fill_search_area_of(*g.page, 1);
}

TEST(axis_angle, is_the_counter_clockwise_angle_on_the_image)
{
    for (double degrees : {0.0, 30.0, 44.0, 46.0, 60.0, 90.0, 120.0, 150.0, 180.0, 200.0, 224.0,
                           -30.0, -60.0, -90.0, -120.0, -134.0}) {
        double r = degrees / 57.29577951308232;
        point_f64 u = {cos(r), -sin(r)}; // y grows downward on the image
        EXPECT_NEAR(axis_angle(u), degrees, 1e-9) << degrees;
    }
}

} // namespace
