// orientation.cpp - a scan that lies turned is turned the right way up.
//
// Sheets go onto a flatbed any way round.  Runs after find_corners and reads
// `image`, `fill_cutlevel`, the corners and the format's page height.  The
// frame's aspect tells a quarter turn (a portrait page lying across the scan)
// from none or a half turn; which of the two a frame's shape allows is told
// by where the first row of crosses lies.  Upright it runs 5 page pixels
// inside the frame's top edge, and 5 page pixels inside the bottom edge lies
// the label strip, black with white text, where no row of 65 crosses can be
// seen; random data cannot imitate one either.  The crosses are looked for
// along the page's own axes under each way the page could lie, so a cross
// shows the same pattern under every one of them.
//
// A page is turned only on plenty of crosses along the edge where the turn
// puts them and few where upright would: an upright scan, however damaged,
// is left exactly as it is and nothing is printed.  A turned one is turned
// in `image` (a quarter turn into `work`, which holds nothing needed yet,
// and the two buffers and the width and height swap), one line says so, and
// the corners are found again without the search line, so that everything
// after the line is what an upright scan of the turned image prints.
#include "bilinear.h"
#include "stage_internals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

// Which corner of the image each corner of the page lies at, for every turn
// (counter-clockwise as seen in the scan: at 90 degrees the page's top edge
// runs up the scan's left side).
struct corner_places {
    corner_id top_left, top_right, bottom_left, bottom_right;
};

constexpr corner_places places[4] = {
    {upper_left_corner, upper_right_corner, lower_left_corner, lower_right_corner},
    {lower_left_corner, upper_left_corner, lower_right_corner, upper_right_corner},
    {lower_right_corner, lower_left_corner, upper_right_corner, upper_left_corner},
    {upper_right_corner, lower_right_corner, upper_left_corner, lower_left_corner},
};

point_f64 corner_point(const page_corners &c, corner_id id)
{
    const point_u64 *all[4] = {&c.upper_left, &c.upper_right, &c.lower_left, &c.lower_right};
    return {(double)all[id]->x, (double)all[id]->y};
}

// The four corners of the page as they would lie under one turn.
struct page_frame {
    point_f64 top_left, top_right, bottom_left, bottom_right;
    double height; // of the format, in page pixels
};

page_frame frame_of(const page_state &page, page_turn turn)
{
    const corner_places &p = places[turn];
    const page_corners &c = page.corners;
    return {corner_point(c, p.top_left), corner_point(c, p.top_right),
            corner_point(c, p.bottom_left), corner_point(c, p.bottom_right),
            (double)page.page_height};
}

// The image's value at page point (x, y), the point placed between the
// frame's corners; bilinear_sample holds a pixel's value at its top-left
// corner, half a pixel off the centre of its square.
float value_at(const page_state &page, const page_frame &f, double x, double y)
{
    const double u = x / page_width, v = y / f.height;
    const point_f64 top = {f.top_left.x + (f.top_right.x - f.top_left.x) * u,
                           f.top_left.y + (f.top_right.y - f.top_left.y) * u};
    const point_f64 bottom = {f.bottom_left.x + (f.bottom_right.x - f.bottom_left.x) * u,
                              f.bottom_left.y + (f.bottom_right.y - f.bottom_left.y) * u};
    return bilinear_sample(page, top.x + (bottom.x - top.x) * v - 0.5,
                           top.y + (bottom.y - top.y) * v - 0.5);
}

// Mean of four samples in the middle of one quadrant of the cross around
// page point (cx, cy); sx and sy (-1 or 1) pick the quadrant.  Taking the
// middle of a quadrant 3 page pixels wide leaves a page pixel of room for
// a cross predicted from the corners alone.
float quadrant_mean(const page_state &page, const page_frame &f, double cx, double cy, int sx,
                    int sy)
{
    float sum = 0;
    for (int a = 1; a <= 2; a++)
        for (int b = 1; b <= 2; b++)
            sum += value_at(page, f, cx + sx * a, cy + sy * b);
    return sum / 4;
}

// Black in the top-left and bottom-right quadrants and white in the other
// two, each against the level halfway between black and white.
bool cross_seen(const page_state &page, const page_frame &f, double cx, double cy)
{
    const float level = page.fill_cutlevel;
    return quadrant_mean(page, f, cx, cy, -1, -1) < level &&
           quadrant_mean(page, f, cx, cy, 1, 1) < level &&
           quadrant_mean(page, f, cx, cy, 1, -1) >= level &&
           quadrant_mean(page, f, cx, cy, -1, 1) >= level;
}

double distance(point_f64 a, point_f64 b)
{
    return sqrt((a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y));
}

// A frame wider than high holds a portrait page lying across the scan.
bool lies_across(const page_state &page)
{
    const page_frame f = frame_of(page, turned_none);
    const double across =
        distance(f.top_left, f.top_right) + distance(f.bottom_left, f.bottom_right);
    const double down = distance(f.top_left, f.bottom_left) + distance(f.top_right, f.bottom_right);
    return across > down;
}

// Out of a row of 65: at least this many is a row of crosses, at most
// `few` is none.  Between the two nothing is decided and nothing turned.
constexpr uint32_t plenty = 3 * cross_cols / 4;
constexpr uint32_t few = cross_cols / 4;

// A quarter turn: the one the crosses show, if they show it clearly and
// show no upright row of crosses either.
page_turn find_quarter_turn(const page_state &page)
{
    if (first_row_crosses(page, turned_none) > few)
        return turned_none;
    const uint32_t at_90 = first_row_crosses(page, turned_90);
    const uint32_t at_270 = first_row_crosses(page, turned_270);
    if (at_90 >= plenty && at_270 <= few)
        return turned_90;
    if (at_270 >= plenty && at_90 <= few)
        return turned_270;
    return turned_none;
}

// Turns a width x height image a quarter turn into `to` (height x width),
// clockwise for a page that lies turned by 90 degrees, anticlockwise for
// one turned by 270.  Square tiles keep both the rows read and the rows
// written in the cache.
void quarter_turn(const uint8_t *from, uint32_t width, uint32_t height, uint8_t *to, bool clockwise)
{
    const uint32_t tile = 64;
    for (uint32_t y0 = 0; y0 < width; y0 += tile)
        for (uint32_t x0 = 0; x0 < height; x0 += tile)
            for (uint32_t y = y0; y < std::min(y0 + tile, width); y++) {
                uint8_t *row = to + (size_t)y * height;
                for (uint32_t x = x0; x < std::min(x0 + tile, height); x++)
                    row[x] = clockwise ? from[(size_t)(height - 1 - x) * width + y]
                                       : from[(size_t)x * width + (width - 1 - y)];
            }
}

} // namespace

uint32_t first_row_crosses(const page_state &page, page_turn turn)
{
    const page_frame f = frame_of(page, turn);
    const double centre = border_width + chalf; // of the first cross, from the frame's edges
    uint32_t seen = 0;
    for (uint32_t i = 0; i < cross_cols; i++)
        seen += cross_seen(page, f, centre + (double)(i * cross_pitch), centre);
    return seen;
}

page_turn find_page_turn(const page_state &page)
{
    if (lies_across(page))
        return find_quarter_turn(page);
    // Upright scans stop here, after one row.
    if (first_row_crosses(page, turned_none) > few)
        return turned_none;
    return first_row_crosses(page, turned_180) >= plenty ? turned_180 : turned_none;
}

void turn_image(page_state &page, page_turn turn)
{
    if (turn == turned_none)
        return;
    if (turn == turned_180) {
        // A half turn of a row-major image is its bytes in reverse order.
        std::reverse(page.image, page.image + (size_t)page.width * page.height);
        return;
    }
    quarter_turn(page.image, page.width, page.height, page.work, turn == turned_90);
    std::swap(page.image, page.work);
    std::swap(page.width, page.height);
}

corner_id turn_page_upright(page_state &page)
{
    const page_turn turn = find_page_turn(page);
    if (turn == turned_none)
        return corner_found;
    turn_image(page, turn);
    fprintf(stderr, "Scan is turned by %u degrees; reading it the right way up.\n",
            90 * (unsigned)turn);
    return search_corners(page);
}
