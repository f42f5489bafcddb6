// Where the page lands on the scan: known positions for the plain case,
// directions for rotation and keystone, the inverse, and the fit check.
#include "page_format.h"
#include "scan_geometry.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

void expect_maps(const homography &h, double x, double y, double want_x, double want_y)
{
    double mx = 0, my = 0;
    map_point(h, x, y, &mx, &my);
    EXPECT_NEAR(mx, want_x, 1e-9) << "from " << x << "," << y;
    EXPECT_NEAR(my, want_y, 1e-9) << "from " << x << "," << y;
}

TEST(ScanGeometry, UnrotatedScaleThreeLinesPagePixelsUpWithScanPixels)
{
    scan_options o; // A4 at 600 dpi, scale 3
    scan_geometry g;
    ASSERT_TRUE(make_geometry(o, &g));
    EXPECT_EQ(g.sheet_width, 4961u);
    EXPECT_EQ(g.sheet_height, 7016u);
    // (4961 - 4638) / 2 = 161.5 rounds down to 161; (7016 - 6726) / 2 = 145.
    expect_maps(g.page_to_scan, 0, 0, 161, 145);
    expect_maps(g.page_to_scan, 1546, 2242, 161 + 4638, 145 + 6726);
    // The centre of page pixel (100, 7) is the centre of scan pixel (462, 167).
    expect_maps(g.page_to_scan, 100.5, 7.5, 462.5, 167.5);
    expect_maps(g.scan_to_page, 462.5, 167.5, 100.5, 7.5);
}

TEST(ScanGeometry, NonIntegerScalesAndOffsetsPlaceThePageExactly)
{
    scan_options o;
    o.scale = 2.7;
    o.offset_x = -20.25;
    o.offset_y = 11;
    scan_geometry g;
    ASSERT_TRUE(make_geometry(o, &g));
    // left = floor((4961 - 4174.2) / 2) = 393, top = floor((7016 - 6053.4) / 2) = 481
    expect_maps(g.page_to_scan, 0, 0, 393 - 20.25, 481 + 11);
    expect_maps(g.page_to_scan, 10, 1, 393 - 20.25 + 27, 481 + 11 + 2.7);
}

TEST(ScanGeometry, RotationIsCounterClockwiseAsSeenAboutThePageCentre)
{
    scan_options o;
    o.rotate = 90;
    o.sheet_width = 7100; // the page lies on its side
    o.sheet_height = 7100;
    scan_geometry g;
    ASSERT_TRUE(make_geometry(o, &g));
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0, x2 = 0, y2 = 0;
    map_point(g.page_to_scan, 773, 1121, &x0, &y0); // the centre stays put
    map_point(g.page_to_scan, 774, 1121, &x1, &y1); // +x on the page
    map_point(g.page_to_scan, 773, 1122, &x2, &y2); // +y on the page
    EXPECT_NEAR(x1 - x0, 0.0, 1e-9);
    EXPECT_NEAR(y1 - y0, -3.0, 1e-9); // page x now points up the scan
    EXPECT_NEAR(x2 - x0, 3.0, 1e-9);  // page y now points right
    EXPECT_NEAR(y2 - y0, 0.0, 1e-9);
}

TEST(ScanGeometry, AspectAndKeystoneStretchTheRightWay)
{
    scan_options o;
    o.scale = 2.5;
    o.aspect = 1.1;
    o.perspective = 0.02;
    scan_geometry g;
    ASSERT_TRUE(make_geometry(o, &g));
    double tlx, tly, trx, try_, blx, bly, brx, bry;
    map_point(g.page_to_scan, 0, 0, &tlx, &tly);
    map_point(g.page_to_scan, page_width, 0, &trx, &try_);
    map_point(g.page_to_scan, 0, page_height, &blx, &bly);
    map_point(g.page_to_scan, page_width, page_height, &brx, &bry);
    double top = trx - tlx, bottom = brx - blx;
    EXPECT_NEAR(top / bottom, 1.01 / 0.99, 1e-9); // 1 / (1 - p/2) over 1 / (1 + p/2)
    EXPECT_NEAR(top, page_width * 2.5 / 0.99, 1e-6);
    EXPECT_NEAR(tly, try_, 1e-9); // edges stay level
    // Height at the centre line: 2242 * 2.5 * 1.1, bent only by the keystone.
    double cx0, cy0, cx1, cy1;
    map_point(g.page_to_scan, 773, 0, &cx0, &cy0);
    map_point(g.page_to_scan, 773, page_height, &cx1, &cy1);
    EXPECT_NEAR(cy1 - cy0, page_height * 2.5 * 1.1 * 0.5 * (1 / 0.99 + 1 / 1.01), 1e-6);
}

TEST(ScanGeometry, TheInverseUndoesEveryEffect)
{
    scan_options o;
    o.scale = 4.1;
    o.aspect = 0.97;
    o.perspective = -0.03;
    o.rotate = 7.3;
    o.offset_x = 13;
    o.offset_y = -8;
    o.sheet_width = 7600;
    o.sheet_height = 10000;
    scan_geometry g;
    ASSERT_TRUE(make_geometry(o, &g));
    const double points[][2] = {{0, 0}, {1546, 0}, {17.25, 2200.5}, {800, 1000}};
    for (const auto &p : points) {
        double x, y, u, v;
        map_point(g.page_to_scan, p[0], p[1], &x, &y);
        map_point(g.scan_to_page, x, y, &u, &v);
        EXPECT_NEAR(u, p[0], 1e-7);
        EXPECT_NEAR(v, p[1], 1e-7);
    }
}

TEST(ScanGeometry, APageThatLeavesTheSheetIsRefused)
{
    scan_options o;
    o.sheet_width = 5100; // letter: 6726 rows of page do not fit in 6600
    o.sheet_height = 6600;
    scan_geometry g;
    bool ok = true;
    std::string err = capture_stderr([&] { ok = make_geometry(o, &g); });
    EXPECT_FALSE(ok);
    EXPECT_EQ(
        err,
        "paperscan: the page does not fit on the 5100 x 6600 sheet: its corner 0,0 would be at "
        "231.0,-63.0\n");
    o.scale = 2.9; // 6501.8 rows fit
    EXPECT_TRUE(make_geometry(o, &g));
}

} // namespace
