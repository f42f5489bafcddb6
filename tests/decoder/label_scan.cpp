// label_scan.cpp - paprel's pages through paperscan's model into the
// decoder's stages, as far as read_label.
//
// The page comes from the encoder's own stages (format_page draws the
// label, render_page the data words); the scan from paperscan's library,
// written as the PNG file paperscan writes and read back by load_png.
#include "label_scan.h"

#include "cli.h"
#include "encoder_internals.h"
#include "png_write.h"
#include "scan_geometry.h"
#include "scan_page.h"
#include "sheet.h"
#include "stage_internals.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <unistd.h>

namespace {

// Static, as in paprel: the record is 4 MB and aligned to 2 MB.
paprel_run &encoder_record()
{
    static paprel_run record;
    return record;
}

// The crosses of the rows from here on are searched in the scan; those
// above lie outside the window and keep their true places.
constexpr uint32_t first_searched_row = cross_rows - 6;

// Page rows from this one down are in the window (the searched crosses, and
// room for the search around them).
constexpr double window_top = border_width + cross_pitch * first_searched_row - 8.0;
constexpr double window_margin = 8.0; // page pixels around the page's sides and bottom

point_f64 scan_point(const homography &h, double x, double y)
{
    point_f64 p;
    map_point(h, x, y, &p.x, &p.y);
    return p;
}

// The same map with the scan moved by (-left, -top): the window's origin
// at scan point (left, top).
void shift_geometry(scan_geometry &g, double left, double top)
{
    double *f = g.page_to_scan.m, *b = g.scan_to_page.m;
    for (int j = 0; j < 3; j++) {
        f[j] -= left * f[6 + j];
        f[3 + j] -= top * f[6 + j];
    }
    for (int i = 0; i < 3; i++)
        b[3 * i + 2] += left * b[3 * i] + top * b[3 * i + 1];
}

// The window of the sheet around the page's bottom rows, in whole scan
// pixels; `g` becomes the geometry of a sheet that is the window.
void cut_window(scan_geometry &g)
{
    double lo_x = 1e300, lo_y = 1e300, hi_x = -1e300, hi_y = -1e300;
    for (double x : {-window_margin, page_width + window_margin})
        for (double y : {window_top, page_height + window_margin}) {
            const point_f64 p = scan_point(g.page_to_scan, x, y);
            lo_x = fmin(lo_x, p.x), hi_x = fmax(hi_x, p.x);
            lo_y = fmin(lo_y, p.y), hi_y = fmax(hi_y, p.y);
        }
    const double left = floor(lo_x), top = floor(lo_y);
    shift_geometry(g, left, top);
    g.sheet_width = (uint32_t)(ceil(hi_x) - left);
    g.sheet_height = (uint32_t)(ceil(hi_y) - top);
}

// Prints the sheet as paperscan would and loads it as unpaprel does.
bool load_scan(const sheet &s, const scan_options &options, page_state &page)
{
    const std::string dir = make_temp_dir();
    const std::string path = dir + "/scan.png";
    bool ok = write_scan(path.c_str(), s, options);
    EXPECT_TRUE(ok) << "write_scan";
    page.scan_file = ok ? fopen(path.c_str(), "rb") : nullptr;
    ok = ok && page.scan_file;
    capture_stderr([&] { ok = ok && load_png(page) == page_decoded; });
    EXPECT_TRUE(ok) << "load_png";
    remove_tree(dir);
    return ok;
}

bool scan_sheet(const std::vector<uint8_t> &pixels, const scan_options &options,
                const scan_geometry &g, page_state &page, const sheet_edit &edit)
{
    sheet s{};
    bool ok = alloc_sheet(g.sheet_width, g.sheet_height, &s) &&
              scan_page(pixels.data(), 1, options, g, &s);
    EXPECT_TRUE(ok) << "scan_page";
    if (ok && edit)
        edit(s, g.page_to_scan);
    ok = ok && load_scan(s, options, page);
    free_sheet(&s);
    return ok;
}

// What estimate_geometry makes of the four corners, here the true ones;
// false when the search area cannot be had.
bool set_geometry(page_state &page, const homography &h)
{
    const point_f64 ul = scan_point(h, 0, 0), ur = scan_point(h, page_width, 0);
    const point_f64 ll = scan_point(h, 0, page_height), lr = scan_point(h, page_width, page_height);
    page.bit_width = (ur.x + lr.x - ul.x - ll.x) * 0.5 / page_width;
    page.bit_height = (ll.y + lr.y - ul.y - ur.y) * 0.5 / page_height;
    const point_f64 across = {(ur.x + lr.x - ul.x - ll.x), (ur.y + lr.y - ul.y - ll.y)};
    const point_f64 down = {(ll.x + lr.x - ul.x - ur.x), (ll.y + lr.y - ul.y - ur.y)};
    const double a = hypot(across.x, across.y), d = hypot(down.x, down.y);
    page.horizontal_vector = {across.x / a, across.y / a};
    page.vertical_vector = {down.x / d, down.y / d};
    page.chalf = (int32_t)fmin(page.bit_width * 1.5, page.bit_height * 1.5);
    page.quadrant_half = (int32_t)fmin(page.bit_width * 2.25, page.bit_height * 2.25);
    const size_t side = 4 * (size_t)page.chalf + 1;
    page.search_area = (float *)malloc(side * side * sizeof(float));
    return page.search_area != nullptr;
}

// find_crosses' search for every cross of the last rows, each from a
// prediction some way off its true centre; the crosses above keep their
// true centres.
void find_last_crosses(page_state &page, const homography &h)
{
    for (uint32_t j = 0; j < cross_rows; j++)
        for (uint32_t i = 0; i < cross_cols; i++) {
            const point_f64 truth = scan_point(h, border_width + chalf + cross_pitch * i,
                                               border_width + chalf + cross_pitch * j);
            page.cross_grid[i][j] = truth;
            page.cross_cutlevels[i][j] = page.cutlevel;
            if (j < first_searched_row)
                continue;
            const point_f64 prediction = {truth.x + 0.6, truth.y - 0.8};
            fill_search_area(page, prediction);
            const point_f64 found =
                quarter_pixel_refine(page, whole_pixel_search(page, prediction));
            page.cross_grid[i][j] = found;
            page.cross_cutlevels[i][j] = measure_cutlevel(page, found);
        }
}

} // namespace

scanned_label::~scanned_label()
{
    release_page(page);
}

std::vector<uint8_t> paprel_page(uint32_t number, uint32_t count, const char *name, uint32_t seed)
{
    paprel_run &run = encoder_record();
    memset(&run, 0, sizeof run);
    run.page_number = number;
    run.page_count = count;
    run.label_name = name;
    format_page(run);
    std::mt19937 random(seed);
    for (uint32_t k = 0; k < codewords_per_page; k++) {
        run.codeword_index = k;
        place_codeword(run, golay_encode(random() & 0xfff));
    }
    render_page(run);
    return std::vector<uint8_t>(run.page_buffer, run.page_buffer + page_pixels);
}

bool scan_label_strip(const std::vector<uint8_t> &pixels, const scan_options &options,
                      scanned_label &out, const sheet_edit &edit)
{
    // The window is cut from a sheet large enough for the page at any skew.
    scan_options sized = options;
    const double a = fabs(options.rotate) * (3.14159265358979323846 / 180.0);
    const double w = page_width, h = page_height * options.aspect;
    const double grown = (1 + fabs(options.perspective)) * options.scale;
    sized.named_sheet = false;
    sized.sheet_width = (uint32_t)ceil(grown * (w * fabs(cos(a)) + h * sin(a))) + 64;
    sized.sheet_height = (uint32_t)ceil(grown * (w * sin(a) + h * fabs(cos(a)))) + 64;
    scan_geometry g{};
    if (!make_geometry(sized, &g)) {
        ADD_FAILURE() << "the page does not fit the sheet";
        return false;
    }
    cut_window(g);
    // What lies above the window cannot reach it through the optics; left
    // white, it costs the model nothing.
    std::vector<uint8_t> bottom = pixels;
    const size_t hidden_rows = (size_t)window_top - 2 * (size_t)window_margin;
    memset(bottom.data(), 255, hidden_rows * page_width);
    page_state &page = out.page;
    if (!scan_sheet(bottom, options, g, page, edit))
        return false;
    bool located = false;
    capture_stderr([&] {
        find_levels(page);
        located = set_geometry(page, g.page_to_scan);
        if (!located)
            return;
        find_last_crosses(page, g.page_to_scan);
        condition_image(page);
    });
    EXPECT_TRUE(located) << "no memory for the search area";
    if (located)
        read_label(page);
    return located;
}

bool scan_whole_page(const std::vector<uint8_t> &pixels, const scan_options &options,
                     scanned_label &out)
{
    scan_geometry g{};
    if (!make_geometry(options, &g)) {
        ADD_FAILURE() << "the page does not fit the sheet";
        return false;
    }
    sheet s{};
    bool ok = alloc_sheet(g.sheet_width, g.sheet_height, &s) &&
              scan_page(pixels.data(), 1, options, g, &s);
    const std::string dir = make_temp_dir();
    const std::string path = dir + "/scan.png";
    ok = ok && write_scan(path.c_str(), s, options);
    free_sheet(&s);
    EXPECT_TRUE(ok) << "scan";
    out.page.scan_file = ok ? fopen(path.c_str(), "rb") : nullptr;
    page_status status = scan_unreadable;
    if (out.page.scan_file) {
        fflush(stdout);
        const int saved = dup(1), null = open("/dev/null", O_WRONLY);
        dup2(null, 1);
        capture_stderr([&] { status = decode_page(out.run, out.page, nullptr); });
        fflush(stdout);
        dup2(saved, 1);
        close(saved);
        close(null);
    }
    remove_tree(dir);
    EXPECT_EQ(status, page_decoded);
    return status == page_decoded;
}
