// Sheets scanned any way round.  A paprel page scanned by paperscan's model
// and then turned pixel for pixel must decode exactly as the upright scan
// does: the same payload and debug image, and the same standard error with
// one line more.  Pages that paperscan itself lays turned on the glass, with
// some skew on top, must give back the exact payload.  And the decision on
// real scans: turned pages of any data are found, upright ones - all black,
// all white, random, skewed, wrecked, with their label wiped - never turned.
#include "cli.h"
#include "grey_image.h"
#include "page_format.h"
#include "png_write.h"
#include "scan_geometry.h"
#include "scan_options.h"
#include "scan_page.h"
#include "sheet.h"
#include "stage_internals.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::string turn_lines[4] = {"",
                                   "Scan is turned by 90 degrees; reading it the right way up.\n",
                                   "Scan is turned by 180 degrees; reading it the right way up.\n",
                                   "Scan is turned by 270 degrees; reading it the right way up.\n"};

command_options in_dir(const std::string &dir)
{
    command_options options;
    options.dir = dir;
    return options;
}

enum data_kind { random_data, all_black, all_white };

// One page of the kind of data asked for, encoded by paprel into
// dir/page_0001.pgm; returns what unpaprel must give back.
std::string encode(const std::string &dir, data_kind kind)
{
    std::string payload(payload_bytes_per_page, kind == all_black ? '\xff' : '\0');
    if (kind == random_data)
        payload = random_bytes(150001, 11) + std::string(payload_bytes_per_page - 150001, '\0');
    write_file(dir + "/payload.bin", payload);
    command_result r = run_command({PAPREL_BIN, "payload.bin", "page"}, in_dir(dir));
    EXPECT_EQ(r.status, 0) << r.err;
    return payload;
}

struct scanned {
    scan_options options;
    scan_geometry geometry{};
    sheet s{};

    ~scanned() { free_sheet(&s); }
};

// The page through paperscan's model with its default blur, toner, dust and
// noise, at `scale` with the page off the sheet's centre, so that a flip or
// a swap of the sheet shows.
void scan(const std::string &dir, double scale, double rotate, uint32_t width, uint32_t height,
          scanned *out)
{
    grey_image page;
    ASSERT_TRUE(read_pgm(dir + "/page_0001.pgm", &page));
    scan_options &o = out->options;
    o.scale = scale;
    o.rotate = rotate;
    o.named_sheet = false;
    o.sheet_width = width;
    o.sheet_height = height;
    o.offset_x = 9;
    o.offset_y = -14;
    ASSERT_TRUE(make_geometry(o, &out->geometry));
    ASSERT_TRUE(alloc_sheet(width, height, &out->s));
    ASSERT_TRUE(scan_page(page.pixels.data(), 1, o, out->geometry, &out->s));
}

// The sheet turned a quarter counter-clockwise: its right column becomes
// the top row.
void turn_sheet(sheet &s)
{
    sheet turned{};
    ASSERT_TRUE(alloc_sheet(s.height, s.width, &turned));
    for (uint32_t y = 0; y < s.width; y++)
        for (uint32_t x = 0; x < s.height; x++)
            turned.pixels[(size_t)y * s.height + x] =
                s.pixels[(size_t)x * s.width + (s.width - 1 - y)];
    free_sheet(&s);
    s = turned;
}

// Writes the sheet as dir/<sub>/scan_0001.png and decodes it there.
command_result decode(const std::string &dir, const std::string &sub, const scanned &scan)
{
    const std::string here = dir + "/" + sub;
    EXPECT_EQ(mkdir(here.c_str(), 0755), 0) << here;
    EXPECT_TRUE(write_scan((here + "/scan_0001.png").c_str(), scan.s, scan.options));
    return run_command({UNPAPREL_BIN, PAGE_FORMAT_STRING, "scan"}, in_dir(here));
}

void replace_once(std::string &text, const std::string &from, const std::string &to)
{
    const size_t at = text.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    text.replace(at, from.size(), to);
}

std::string size_line(uint32_t width, uint32_t height)
{
    return "\nInput " + std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

TEST(TurnedScans, DecodeExactlyAsTheUprightScanWithOneLineMore)
{
    temp_dir dir;
    const std::string payload = encode(dir.path, random_data);
    scanned s;
    const uint32_t width = 2761, height = 3954;
    ASSERT_NO_FATAL_FAILURE(scan(dir.path, 1.7, 0.0, width, height, &s));
    const command_result upright = decode(dir.path, "upright", s);
    ASSERT_EQ(upright.status, 0) << upright.err;
    ASSERT_TRUE(upright.out == payload) << "payload differs";
    const std::string search = "\nSearching for the corners.\n";
    const size_t at = upright.err.find(search);
    ASSERT_NE(at, std::string::npos);
    ASSERT_EQ(upright.err.find("Scan is turned"), std::string::npos);
    const std::string upright_debug = read_file(dir.path + "/upright/scan_0001_debug.pgm");
    ASSERT_FALSE(upright_debug.empty());

    for (int quarters = 1; quarters <= 3; quarters++) {
        ASSERT_NO_FATAL_FAILURE(turn_sheet(s.s));
        const std::string sub = "turned" + std::to_string(90 * quarters);
        const command_result turned = decode(dir.path, sub, s);
        EXPECT_EQ(turned.status, 0) << quarters;
        EXPECT_TRUE(turned.out == payload) << quarters << " payload differs";
        // The file itself lies across after a quarter turn, and its size
        // line says so; from the turn line on nothing differs.
        std::string expected = upright.err;
        expected.insert(at + search.size(), turn_lines[quarters]);
        if (quarters % 2 == 1)
            replace_once(expected, size_line(width, height), size_line(height, width));
        EXPECT_EQ(turned.err, expected) << quarters;
        EXPECT_TRUE(read_file(dir.path + "/" + sub + "/scan_0001_debug.pgm") == upright_debug)
            << quarters << " debug images differ";
    }
}

// Turned on the glass by paperscan (counter-clockwise as seen in the scan)
// with a degree or two of skew besides, on a sheet the page fits on.
struct glass_case {
    const char *name;
    double rotate;
    uint32_t sheet_width, sheet_height;
    int quarters;
};

void PrintTo(const glass_case &c, std::ostream *os)
{
    *os << c.name;
}

class LaidTurned : public testing::TestWithParam<glass_case> {};

TEST_P(LaidTurned, GivesTheExactPayload)
{
    const glass_case &c = GetParam();
    temp_dir dir;
    const std::string payload = encode(dir.path, random_data);
    const std::string sheet_size =
        std::to_string(c.sheet_width) + "x" + std::to_string(c.sheet_height);
    command_result scanned =
        run_command({PAPERSCAN_BIN, "--scale", "1.7", "--rotate", std::to_string(c.rotate),
                     "--sheet", sheet_size, "--seed", "5", "scan", "page_0001.pgm"},
                    in_dir(dir.path));
    ASSERT_EQ(scanned.status, 0) << scanned.err;
    command_result r = run_command({UNPAPREL_BIN, PAGE_FORMAT_STRING, "scan"}, in_dir(dir.path));
    EXPECT_EQ(r.status, 0) << r.err.substr(0, 3000);
    EXPECT_TRUE(r.out == payload) << "payload differs";
    EXPECT_NE(r.err.find("\nSearching for the corners.\n" + turn_lines[c.quarters] + "One bit is"),
              std::string::npos)
        << r.err.substr(0, 3000);
}

INSTANTIATE_TEST_SUITE_P(
    OnTheGlass, LaidTurned,
    testing::Values(glass_case{"QuarterTurnAndSkew", 91.5, 3900, 2750, 1},
                    glass_case{"HalfTurnAndSkew", -178.2, 2750, 3900, 2},
                    glass_case{"ThreeQuarterTurnAndSkew", -88.8, 3900, 2750, 3}),
    [](const testing::TestParamInfo<glass_case> &c) { return std::string(c.param.name); });

// How a scan lies, as the decoder decides it on a real scan.
struct lie_case {
    const char *name;
    data_kind data;
    double rotate;
    bool landscape;   // the sheet lies across
    bool wipe_label;  // the label strip scraped white
    int scratches;    // and hairs, wide ones, that also bend the corners
    page_turn expect; // what the decision must find
};

void PrintTo(const lie_case &c, std::ostream *os)
{
    *os << c.name;
}

// The label strip of an unturned page painted paper white.
void wipe_label(scanned &s)
{
    double left = 0, top = 0, right = 0, bottom = 0;
    map_point(s.geometry.page_to_scan, border_width, label_top, &left, &top);
    map_point(s.geometry.page_to_scan, page_width - border_width, label_top + text_height, &right,
              &bottom);
    for (uint32_t y = (uint32_t)ceil(top); y < (uint32_t)floor(bottom); y++)
        for (uint32_t x = (uint32_t)ceil(left); x < (uint32_t)floor(right); x++)
            s.s.pixels[(size_t)y * s.s.width + x] = reflectance_sample(s.options.paper);
}

// The decoder's stages up to the corners on dir/scan_0001.png.
std::unique_ptr<page_state> load_to_corners(const std::string &dir)
{
    auto page = std::make_unique<page_state>();
    page->scan_file = fopen((dir + "/scan_0001.png").c_str(), "rb");
    EXPECT_NE(page->scan_file, nullptr);
    corner_id missing = upper_left_corner;
    capture_stderr([&] {
        EXPECT_EQ(load_png(*page), page_decoded);
        find_levels(*page);
        EXPECT_EQ(remove_dirt(*page), page_decoded);
        missing = find_corners(*page);
    });
    EXPECT_EQ(missing, corner_found);
    return page;
}

class HowItLies : public testing::TestWithParam<lie_case> {};

TEST_P(HowItLies, IsFoundOnRealScans)
{
    const lie_case &c = GetParam();
    temp_dir dir;
    encode(dir.path, c.data);
    scanned s;
    s.options.scratches = s.options.hairs = (uint32_t)c.scratches;
    s.options.scratch_width = 8;
    ASSERT_NO_FATAL_FAILURE(
        scan(dir.path, 1.5, c.rotate, c.landscape ? 3500 : 2450, c.landscape ? 2450 : 3500, &s));
    if (c.wipe_label)
        wipe_label(s);
    ASSERT_TRUE(write_scan((dir.path + "/scan_0001.png").c_str(), s.s, s.options));
    auto page = load_to_corners(dir.path);
    // Where each way of lying puts the first row: a clear row of crosses
    // for the true one, hardly any for the others.
    for (int turn = turned_none; turn <= turned_270; turn++)
        printf("%s: %u crosses at %d degrees\n", c.name, first_row_crosses(*page, (page_turn)turn),
               90 * turn);
    EXPECT_EQ(find_page_turn(*page), c.expect);
    release_page(*page);
}

INSTANTIATE_TEST_SUITE_P(
    RealScans, HowItLies,
    testing::Values(lie_case{"RandomUpright", random_data, 0, false, false, 0, turned_none},
                    lie_case{"AllBlackUpright", all_black, 0, false, false, 0, turned_none},
                    lie_case{"AllWhiteUpright", all_white, 0, false, false, 0, turned_none},
                    lie_case{"SkewedUpright", random_data, 1.8, false, false, 0, turned_none},
                    lie_case{"LabelWipedUpright", random_data, 0, false, true, 0, turned_none},
                    lie_case{"WreckedUpright", random_data, -0.4, false, false, 3, turned_none},
                    lie_case{"AllBlackQuarterTurn", all_black, 90, true, false, 0, turned_90},
                    lie_case{"AllWhiteHalfTurn", all_white, 180, false, false, 0, turned_180},
                    lie_case{"RandomThreeQuarterTurn", random_data, -90, true, false, 0,
                             turned_270}),
    [](const testing::TestParamInfo<lie_case> &c) { return std::string(c.param.name); });

} // namespace
