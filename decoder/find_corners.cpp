// find_corners.cpp - where the printed page lies in the scan.
//
// find_corners takes, for each corner of the image, the dark pixel (below
// `cutlevel`) nearest to it in city-block distance: the page is black up to
// its outer edge, so these are the page's outer corners.  estimate_geometry
// turns the four corners into the page's bounding box, the size of one page
// pixel in input pixels, the unit vectors of the page axes, the half sizes
// of the cross search, and allocates `search_area` (freed by release_page).
// Both report on standard error; a corner not found is named by the caller.
// search_corners is the corner search without its line, for a scan that is
// searched again after it has been turned (orientation.cpp).
#include "stage_internals.h"

#include <cmath>
#include <cstdlib>

namespace {

// Which image corner a scan starts from, and the name in its error line.
struct corner_scan {
    const char *name;
    bool from_right, from_bottom;
};

constexpr corner_scan corner_scans[4] = {
    {"upper left", false, false},
    {"upper right", true, false},
    {"lower left", false, true},
    {"lower right", true, true},
};

// Walks diagonals d = 0 .. m - 1 from the image corner; each from the pixel
// on the top (or bottom) row towards the left (or right) column.  The pixel
// square's corner facing the image corner is stored.
bool scan_corner(const page_state &page, const corner_scan &scan, point_u64 &corner)
{
    uint32_t m = page.width < page.height ? page.width : page.height;
    for (uint64_t d = 0; d < m; d++) {
        for (uint64_t i = 0; i <= d; i++) {
            uint64_t x = scan.from_right ? page.width - 1 - d + i : d - i;
            uint64_t y = scan.from_bottom ? page.height - 1 - i : i;
            if (page.image[y * page.width + x] < page.cutlevel) {
                corner = {x + (scan.from_right ? 1 : 0), y + (scan.from_bottom ? 1 : 0)};
                return true;
            }
        }
    }
    return false;
}

point_f64 unit_vector(double x, double y)
{
    double length = sqrt(x * x + y * y);
    return {x / length, y / length};
}

// The page axes as the means of opposite edges; prints them with the skew
// and the perpendicularity, which serve as a report only.
void find_axes(page_state &page)
{
    const page_corners &c = page.corners;
    double ulx = (double)c.upper_left.x, uly = (double)c.upper_left.y;
    double urx = (double)c.upper_right.x, ury = (double)c.upper_right.y;
    double llx = (double)c.lower_left.x, lly = (double)c.lower_left.y;
    double lrx = (double)c.lower_right.x, lry = (double)c.lower_right.y;
    page.horizontal_vector =
        unit_vector((urx + lrx - ulx - llx) * 0.5, (ury + lry - uly - lly) * 0.5);
    page.vertical_vector =
        unit_vector((llx + lrx - ulx - urx) * 0.5, (lly + lry - uly - ury) * 0.5);
    double horizontal = axis_angle(page.horizontal_vector);
    double vertical = axis_angle(page.vertical_vector);
    double skew = remainder(horizontal + vertical + 90, 360) * 0.5;
    double perpendicularity = horizontal - vertical;
    fprintf(stderr,
            "Input horizontal pixel vector %G,%G, vertical %G,%G. skew %G deg, perpendicularity %G "
            "deg.\n",
            page.horizontal_vector.x, page.horizontal_vector.y, page.vertical_vector.x,
            page.vertical_vector.y, skew, perpendicularity);
}

// Truncation toward zero of a positive product, as an int32.
int32_t truncated(double value)
{
    return (int32_t)double_to_int64(value);
}

bool allocate_search_area(page_state &page)
{
    uint64_t side = 4 * (uint64_t)page.chalf + 1;
    uint64_t bytes = side * side * 4;
    page.search_area = (float *)malloc(bytes);
    if (!page.search_area) {
        page.failure.bytes = bytes;
        return false;
    }
    uint32_t window = 2 * (uint32_t)page.chalf;
    fprintf(stderr, "Allocating search area of %u x %u (%u) pixels.\n", window, window,
            4 * (uint32_t)page.chalf * (uint32_t)page.chalf);
    return true;
}

} // namespace

corner_id find_corners(page_state &page)
{
    fprintf(stderr, "Searching for the corners.\n");
    return search_corners(page);
}

corner_id search_corners(page_state &page)
{
    point_u64 *targets[4] = {&page.corners.upper_left, &page.corners.upper_right,
                             &page.corners.lower_left, &page.corners.lower_right};
    for (int id = upper_left_corner; id <= lower_right_corner; id++)
        if (!scan_corner(page, corner_scans[id], *targets[id]))
            return (corner_id)id;
    return corner_found;
}

const char *corner_name(corner_id corner)
{
    return corner >= upper_left_corner && corner <= lower_right_corner ? corner_scans[corner].name
                                                                       : "no";
}

double axis_angle(point_f64 u)
{
    const double degrees_per_radian = 57.29577951308232;
    double a;
    if (fabs(u.x) > fabs(u.y)) {
        a = asin(-u.y) * degrees_per_radian;
        if (u.x < 0)
            a = 180 - a;
    } else {
        a = asin(u.x) * degrees_per_radian;
        a = u.y > 0 ? a - 90 : 90 - a;
    }
    return a;
}

page_status estimate_geometry(page_state &page)
{
    const page_corners &c = page.corners;
    page.page_left = c.upper_left.x < c.lower_left.x ? c.upper_left.x : c.lower_left.x;
    page.page_top = c.upper_left.y < c.upper_right.y ? c.upper_left.y : c.upper_right.y;
    page.page_right = c.upper_right.x > c.lower_right.x ? c.upper_right.x : c.lower_right.x;
    page.page_bottom = c.lower_left.y > c.lower_right.y ? c.lower_left.y : c.lower_right.y;
    // Integer sums first: the corners' invariants keep them non-negative.
    uint64_t across = c.upper_right.x + c.lower_right.x - c.upper_left.x - c.lower_left.x;
    uint64_t down = c.lower_left.y + c.lower_right.y - c.upper_left.y - c.upper_right.y;
    page.bit_width = (double)across * 0.5 / page_width;
    page.bit_height = (double)down * 0.5 / (double)page.page_height;
    fprintf(stderr, "One bit is %G horizontal pixels and %G vertical pixels.\n", page.bit_width,
            page.bit_height);
    int32_t chalf_x = truncated(page.bit_width * 1.5), chalf_y = truncated(page.bit_height * 1.5);
    int32_t quad_x = truncated(page.bit_width * 2.25), quad_y = truncated(page.bit_height * 2.25);
    page.chalf = chalf_x < chalf_y ? chalf_x : chalf_y;
    page.quadrant_half = quad_x < quad_y ? quad_x : quad_y;
    find_axes(page);
    if (!allocate_search_area(page))
        return search_area_not_allocated;
    fprintf(stderr,
            "Upper corners at %lu, %lu and %lu, %lu,\nlower corners at %lu, %lu and %lu, %lu.\n"
            "Cross half for searching is %d x %d input pixels.\n",
            (unsigned long)c.upper_left.x, (unsigned long)c.upper_left.y,
            (unsigned long)c.upper_right.x, (unsigned long)c.upper_right.y,
            (unsigned long)c.lower_left.x, (unsigned long)c.lower_left.y,
            (unsigned long)c.lower_right.x, (unsigned long)c.lower_right.y, page.chalf, page.chalf);
    return page_decoded;
}
