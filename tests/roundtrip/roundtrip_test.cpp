// The whole way: a random payload encoded by paprel, its pages turned into
// ideal scans by paperscan's own model (no blur, dirt or noise; the page on
// white paper with a margin), written as PNG, and decoded by unpaprel.  The
// payload must come back byte for byte, followed by the zero padding of the
// last page; specks painted on a scan must be corrected and reported.
#include "cli.h"
#include "grey_image.h"
#include "page_format.h"
#include "png_write.h"
#include "scan_geometry.h"
#include "scan_options.h"
#include "scan_page.h"
#include "sheet.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct round_trip {
    std::string dir;
    std::string payload;
    uint32_t pages = 0;

    ~round_trip() { remove_tree(dir); }
};

command_options in_dir(const std::string &dir)
{
    command_options options;
    options.dir = dir;
    return options;
}

std::string page_name(const std::string &dir, const char *base, uint32_t page, const char *suffix)
{
    char name[64];
    snprintf(name, sizeof name, "/%s_%04u%s", base, page, suffix);
    return dir + name;
}

// Encodes `size` random bytes into dir/page_NNNN.pgm.
void encode(round_trip &t, size_t size, unsigned seed)
{
    t.dir = make_temp_dir();
    t.payload = random_bytes(size, seed);
    write_file(t.dir + "/payload.bin", t.payload);
    command_result r = run_command({PAPREL_BIN, "payload.bin", "page"}, in_dir(t.dir));
    ASSERT_EQ(r.status, 0) << r.err;
    t.pages = (uint32_t)((size * 8 + payload_bits_per_page - 1) / payload_bits_per_page);
}

grey_image load_page(const round_trip &t, uint32_t page)
{
    grey_image image;
    EXPECT_TRUE(read_pgm(page_name(t.dir, "page", page, ".pgm"), &image));
    EXPECT_EQ(image.width, page_width);
    EXPECT_EQ(image.height, page_height);
    return image;
}

// A page scanned by paperscan with every imperfection off: paper 1, toner
// 0, sharp square dots, a clean glass, even light and no noise.  The sheet
// is the page's size at `scale` plus `margin` scan pixels of white on every
// side, which puts the page's corner on scan pixel (margin, margin).
struct ideal_scan {
    scan_options options;
    scan_geometry geometry{};
    sheet s{};

    ~ideal_scan() { free_sheet(&s); }
};

void make_ideal_scan(const grey_image &page, double scale, uint32_t margin, ideal_scan *scan)
{
    scan_options &o = scan->options;
    o.scale = scale;
    o.blur = o.dot_gain = o.toner = o.illumination = o.noise = o.dust = 0;
    o.paper = 1;
    o.named_sheet = false;
    o.sheet_width = (uint32_t)ceil(2 * margin + scale * page_width);
    o.sheet_height = (uint32_t)ceil(2 * margin + scale * page_height);
    // 8-bit codes of 255 x reflectance, and a gAMA chunk that says so.
    o.write_gamma = true;
    o.gamma = 1.0;
    ASSERT_TRUE(make_geometry(o, &scan->geometry));
    double corner_x = 0, corner_y = 0;
    map_point(scan->geometry.page_to_scan, 0, 0, &corner_x, &corner_y);
    ASSERT_NEAR(corner_x, margin, 1e-6);
    ASSERT_NEAR(corner_y, margin, 1e-6);
    ASSERT_TRUE(alloc_sheet(o.sheet_width, o.sheet_height, &scan->s));
    ASSERT_TRUE(scan_page(page.pixels.data(), 1, o, scan->geometry, &scan->s));
}

// The scan pixel at the top-left of page pixel (px, py).
void scan_corner(const ideal_scan &scan, uint32_t px, uint32_t py, int64_t *x, int64_t *y)
{
    double fx = 0, fy = 0;
    map_point(scan.geometry.page_to_scan, px, py, &fx, &fy);
    *x = (int64_t)floor(fx + 0.5);
    *y = (int64_t)floor(fy + 0.5);
}

uint16_t &sheet_at(ideal_scan &scan, int64_t x, int64_t y)
{
    return scan.s.pixels[(size_t)y * scan.s.width + (size_t)x];
}

// Paints the scan pixels of page pixel (px, py) of a whole-number scale
// black or white.
void paint_page_pixel(ideal_scan &scan, uint32_t px, uint32_t py, bool black)
{
    const uint32_t scale = (uint32_t)scan.options.scale;
    int64_t x0 = 0, y0 = 0;
    scan_corner(scan, px, py, &x0, &y0);
    for (uint32_t dy = 0; dy < scale; dy++)
        for (uint32_t dx = 0; dx < scale; dx++)
            sheet_at(scan, x0 + dx, y0 + dy) = black ? 0 : 65535;
}

void save_scan(const round_trip &t, uint32_t page, const ideal_scan &scan)
{
    ASSERT_TRUE(write_scan(page_name(t.dir, "scan", page, ".png").c_str(), scan.s, scan.options));
}

// Encoded page `page` of `t`, scanned ideally and written as its scan.
void scan_and_write(const round_trip &t, uint32_t page, double scale, uint32_t margin)
{
    ideal_scan scan;
    ASSERT_NO_FATAL_FAILURE(make_ideal_scan(load_page(t, page), scale, margin, &scan));
    save_scan(t, page, scan);
}

command_result decode(const round_trip &t)
{
    return run_command({UNPAPREL_BIN, PAGE_FORMAT_STRING, "scan"}, in_dir(t.dir));
}

std::string expected_output(const round_trip &t)
{
    return t.payload +
           std::string((size_t)t.pages * payload_bytes_per_page - t.payload.size(), '\0');
}

size_t count(const std::string &text, const std::string &what)
{
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        n++;
    return n;
}

const char clean_stats[] = "No bad bits!\nGolay stats\n===========\n0 bad bits      133182\n";

TEST(RoundTrip, OnePageAtThreePixelsPerPagePixel)
{
    round_trip t;
    encode(t, 150001, 1);
    ASSERT_EQ(t.pages, 1u);
    scan_and_write(t, 1, 3.0, 40);
    command_result r = decode(t);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == expected_output(t)) << "payload differs, " << r.out.size() << " bytes";
    EXPECT_EQ(count(r.err, clean_stats), 1u) << r.err;
    EXPECT_EQ(count(r.err, "One bit is 3 horizontal pixels and 3 vertical pixels.\n"), 1u);
    EXPECT_TRUE(file_exists(t.dir + "/scan_0001_debug.pgm"));
}

// Two pages at 2.7 input pixels per page pixel: every bit edge falls inside
// an input pixel, and the second page is mostly zero padding.
TEST(RoundTrip, TwoPagesAtANonIntegerScale)
{
    round_trip t;
    encode(t, payload_bytes_per_page + 20000, 2);
    ASSERT_EQ(t.pages, 2u);
    for (uint32_t page = 1; page <= 2; page++)
        scan_and_write(t, page, 2.7, 25);
    command_result r = decode(t);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.size(), 2 * (size_t)payload_bytes_per_page);
    EXPECT_TRUE(r.out == expected_output(t)) << "payload differs";
    EXPECT_EQ(count(r.err, clean_stats), 2u) << r.err;
    EXPECT_TRUE(file_exists(t.dir + "/scan_0002_debug.pgm"));
}

struct speck {
    uint32_t k, n; // codeword and bit
    char mark;     // ',' black speck on a 0 bit, '\'' white speck on a 1 bit
    int64_t x, y;  // input pixel of the bit's centre
};

// Paints a speck over the first bit n >= n_from of codeword k whose value
// is the one the speck contradicts.
speck paint_speck(const grey_image &page, ideal_scan &scan, uint32_t k, uint32_t n_from, bool black)
{
    for (uint32_t n = n_from; n < 24; n++) {
        int32_t x, y;
        bit_to_pixel(n * codewords_per_page + k, &x, &y);
        bool bit_is_one = page.at((uint32_t)x + 2, (uint32_t)y + 2) == 0;
        if (bit_is_one == black)
            continue;
        paint_page_pixel(scan, (uint32_t)x + 2, (uint32_t)y + 2, black);
        speck s{k, n, black ? ',' : '\'', 0, 0};
        scan_corner(scan, (uint32_t)x + 2, (uint32_t)y + 2, &s.x, &s.y);
        s.x++, s.y++;
        return s;
    }
    ADD_FAILURE() << "no bit to paint in codeword " << k;
    return {};
}

// The reported coordinate of a speck: "x,y " or "x'y ", within a pixel of
// the bit's centre (the crosses are found to a quarter pixel).
bool reported(const std::string &err, const speck &s)
{
    for (int64_t dy = -1; dy <= 1; dy++)
        for (int64_t dx = -1; dx <= 1; dx++)
            if (err.find(" " + std::to_string(s.x + dx) + s.mark + std::to_string(s.y + dy) +
                         " ") != std::string::npos)
                return true;
    return false;
}

TEST(RoundTrip, SpecksAreCorrectedReportedAndMarked)
{
    round_trip t;
    encode(t, 120000, 3);
    const uint32_t margin = 30;
    grey_image page = load_page(t, 1);
    ideal_scan scan;
    ASSERT_NO_FATAL_FAILURE(make_ideal_scan(page, 3.0, margin, &scan));
    // Codewords with one, two and three damaged bits, three of each kind.
    std::vector<speck> specks = {
        paint_speck(page, scan, 1000, 2, true),    paint_speck(page, scan, 40000, 5, false),
        paint_speck(page, scan, 40000, 17, true),  paint_speck(page, scan, 70000, 0, true),
        paint_speck(page, scan, 70000, 11, false), paint_speck(page, scan, 70000, 20, false),
    };
    // Single dark input pixels are too small to be bits: the conditioning
    // removes them and they cost nothing.
    for (uint32_t i = 0; i < 50; i++) {
        int64_t x = 0, y = 0;
        scan_corner(scan, 200 + 29 * i, 300 + 37 * i, &x, &y);
        sheet_at(scan, x + 1, y + 1) = 0;
    }
    save_scan(t, 1, scan);
    command_result r = decode(t);
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.out == expected_output(t)) << "payload differs";
    EXPECT_NE(r.err.find("The following coordinates have damaged bits."), std::string::npos);
    for (const speck &s : specks)
        EXPECT_TRUE(reported(r.err, s)) << s.x << s.mark << s.y << "\n"
                                        << r.err.substr(r.err.find("The following"));
    EXPECT_NE(
        r.err.find("\n6 bits bad from 3196368, bit error rate 0.000187713%. 50% black dirt, 50% "
                   "white dirt "
                   "and 0 (0%) irreparable.\nGolay stats\n===========\n0 bad bits      133179\n"
                   "1 bad bit       1\n2 bad bits      1\n3 bad bits      1\n4 bad bits      0\n"
                   "total codewords 133182\n"),
        std::string::npos)
        << r.err;

    // In the debug image black dirt is pointed at from the left margin and
    // white dirt from the right margin, each by a black line along the row.
    grey_image debug;
    ASSERT_TRUE(read_pgm(t.dir + "/scan_0001_debug.pgm", &debug));
    for (const speck &s : specks) {
        uint32_t row_black = 0, other_side_black = 0;
        for (int64_t dy = -1; dy <= 1; dy++) {
            uint32_t y = (uint32_t)(s.y + dy);
            bool left = s.mark == ',';
            uint32_t x_near = left ? margin / 2 : debug.width - margin / 2;
            uint32_t x_far = left ? debug.width - margin / 2 : margin / 2;
            row_black += debug.at(x_near, y) == 0;
            other_side_black += debug.at(x_far, y) == 0;
        }
        EXPECT_EQ(row_black, 1u) << s.x << s.mark << s.y;
        EXPECT_EQ(other_side_black, 0u) << s.x << s.mark << s.y;
    }
}

TEST(RoundTrip, FullOutputDeviceFails)
{
    round_trip t;
    encode(t, 1000, 4);
    scan_and_write(t, 1, 2.0, 20);
    command_options options = in_dir(t.dir);
    options.stdout_path = "/dev/full";
    command_result r = run_command({UNPAPREL_BIN, PAGE_FORMAT_STRING, "scan"}, options);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\nunpaprel: cannot write output: No space left on device\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Writing debug image"), std::string::npos);
    // Nothing reached the device, and the summary does not claim otherwise.
    r = run_command({UNPAPREL_BIN, "--summary", PAGE_FORMAT_STRING, "scan"}, options);
    EXPECT_TRUE(ends_with(r.err, "No space left on device\nunpaprel: 0 pages decoded, 0 bytes "
                                 "written, 0 bits corrected, 0 irreparable codewords\n"))
        << r.err;
}

// --no-debug on real scans: no debug image, and the transcript differs
// from the default one only by the lines that announce the images.  The
// summary counts the specks' corrected bits and the whole pages written.
TEST(RoundTrip, NoDebugImagesAndTheSummaryOnRealScans)
{
    round_trip t;
    encode(t, payload_bytes_per_page + 1000, 8);
    ASSERT_EQ(t.pages, 2u);
    grey_image page = load_page(t, 1);
    ideal_scan scan;
    ASSERT_NO_FATAL_FAILURE(make_ideal_scan(page, 2.0, 20, &scan));
    paint_speck(page, scan, 1000, 2, true);
    paint_speck(page, scan, 40000, 5, false);
    paint_speck(page, scan, 40000, 17, true);
    save_scan(t, 1, scan);
    scan_and_write(t, 2, 2.0, 20);
    const command_result plain = decode(t);
    ASSERT_EQ(plain.status, 0) << plain.err;
    for (uint32_t n = 1; n <= 2; n++)
        ASSERT_EQ(remove(page_name(t.dir, "scan", n, "_debug.pgm").c_str()), 0);

    const command_result quiet = run_command(
        {UNPAPREL_BIN, "--no-debug", "--summary", PAGE_FORMAT_STRING, "scan"}, in_dir(t.dir));
    EXPECT_EQ(quiet.status, 0);
    EXPECT_TRUE(quiet.out == expected_output(t)) << "payload differs";
    std::string expected = plain.err;
    for (const char *n : {"0001", "0002"}) {
        const std::string line =
            "Writing debug image into scan_" + std::string(n) + "_debug.pgm.\n";
        ASSERT_EQ(count(expected, line), 1u) << line;
        expected.erase(expected.find(line), line.size());
        EXPECT_FALSE(file_exists(t.dir + "/scan_" + n + "_debug.pgm"));
    }
    EXPECT_EQ(quiet.err, expected + "unpaprel: 2 pages decoded, 399546 bytes written, 3 bits "
                                    "corrected, 0 irreparable codewords\n");
}

// A page that loses codewords is told why, where the geometry shows it,
// right after its report: bits too small for the scan, a frame cut off by
// the image's edge.
TEST(RoundTrip, LostCodewordsAreExplained)
{
    round_trip t;
    encode(t, 90000, 5);
    scan_and_write(t, 1, 1.3, 12);
    command_result r = decode(t);
    EXPECT_EQ(r.status, 1);
    const size_t stats = r.err.find("\ntotal codewords 133182\n");
    ASSERT_NE(stats, std::string::npos) << r.err.substr(0, 3000);
    EXPECT_EQ(r.err.find("Warning: one bit is only 1.30 x 1.30 scan pixels, as in a scan at about "
                         "260 dpi of a page printed at sheetprint's default size; bits this small "
                         "blur into each other: scan at 600 dpi.\nWriting debug image"),
              stats + 24);

    // The left 60 scan pixels of a scan at 2 scan pixels per page pixel cut
    // away: the frame and some 20 columns of bits are gone.
    ideal_scan scan;
    ASSERT_NO_FATAL_FAILURE(make_ideal_scan(load_page(t, 1), 2.0, 10, &scan));
    sheet cropped{};
    ASSERT_TRUE(alloc_sheet(scan.s.width - 60, scan.s.height, &cropped));
    for (uint32_t y = 0; y < cropped.height; y++)
        for (uint32_t x = 0; x < cropped.width; x++)
            cropped.pixels[(size_t)y * cropped.width + x] = sheet_at(scan, x + 60, y);
    ASSERT_TRUE(write_scan(page_name(t.dir, "scan", 1, ".png").c_str(), cropped, scan.options));
    free_sheet(&cropped);
    r = decode(t);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("\nWarning: the page frame runs off the scan at the left; scan the whole "
                         "sheet with white paper around the frame.\nWriting debug image"),
              std::string::npos)
        << r.err.substr(r.err.size() > 600 ? r.err.size() - 600 : 0);
    EXPECT_EQ(r.err.find("Warning: one bit"), std::string::npos);
}

// The labels of a stack of scans against the stack: the ways people shuffle
// their scans are each named at the end and fail the run, and a whole stack
// reads as it always did.
struct stack_run {
    int status;
    std::string err, tail; // tail: what follows the last page's debug image line
};

stack_run decode_stack(const round_trip &t, std::vector<std::string> options = {},
                       const char *format = PAGE_FORMAT_STRING)
{
    std::vector<std::string> argv = {UNPAPREL_BIN};
    argv.insert(argv.end(), options.begin(), options.end());
    argv.push_back(format);
    argv.push_back("scan");
    command_options o = in_dir(t.dir);
    o.stdout_path = "/dev/null";
    command_result r = run_command(argv, o);
    const size_t last = r.err.rfind("_debug.pgm.\n");
    return {r.status, r.err, last == std::string::npos ? r.err : r.err.substr(last + 12)};
}

// Renames a scan; page 0 stands for a name outside the sequence.
void move_scan(const round_trip &t, uint32_t from, uint32_t to)
{
    const std::string spare = t.dir + "/spare.png";
    ASSERT_EQ(rename(from ? page_name(t.dir, "scan", from, ".png").c_str() : spare.c_str(),
                     to ? page_name(t.dir, "scan", to, ".png").c_str() : spare.c_str()),
              0);
}

TEST(RoundTrip, TheStackIsCheckedAgainstItsLabels)
{
    round_trip t;
    encode(t, 2 * (size_t)payload_bytes_per_page + 5000, 6);
    ASSERT_EQ(t.pages, 3u);
    for (uint32_t page = 1; page <= 3; page++)
        scan_and_write(t, page, 2.0, 20);
    stack_run r = decode_stack(t, {"--labels"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.tail, "");
    for (const char *label : {"1/3", "2/3", "3/3"})
        EXPECT_EQ(
            count(r.err, "\nLabel: \"0-65-93-24-3-1-2-24 " + std::string(label) + " page\"\n"), 1u)
            << label;
    // Without --labels the transcript is the one of old, without them.
    EXPECT_EQ(count(decode_stack(t).err, "Label: "), 0u);

    r = decode_stack(t, {}, "0-65-93-24-3-1-2-024");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.tail, "unpaprel: warning: the labels give the format 0-65-93-24-3-1-2-24, not "
                      "0-65-93-24-3-1-2-024\n");

    move_scan(t, 1, 0), move_scan(t, 2, 1), move_scan(t, 0, 2);
    r = decode_stack(t);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.tail, "unpaprel: scan_0001.png is page 2 of 3 by its label, not page 1\n"
                      "unpaprel: scan_0002.png is page 1 of 3 by its label, not page 2\n");

    move_scan(t, 1, 0), move_scan(t, 2, 1), move_scan(t, 0, 2); // back in order
    move_scan(t, 3, 0);
    r = decode_stack(t);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.tail, "unpaprel: the labels announce 3 pages, but page 3 was not found; "
                      "--keep-going reads past a missing scan\n");

    move_scan(t, 0, 3), move_scan(t, 2, 0); // pages 1 and 3 only
    r = decode_stack(t);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.tail, "unpaprel: the labels announce 3 pages, but pages 2 and 3 were not found; "
                      "--keep-going reads past a missing scan\n");
    r = decode_stack(t, {"--keep-going"});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.tail, "unpaprel: page 2 lost, written as 199773 zero bytes\n");

    // A page of another archive in the place of page 2.
    round_trip other;
    encode(other, 1000, 7);
    command_result named = run_command({PAPREL_BIN, "payload.bin", "other"}, in_dir(other.dir));
    ASSERT_EQ(named.status, 0);
    grey_image stray;
    ASSERT_TRUE(read_pgm(other.dir + "/other_0001.pgm", &stray));
    ideal_scan scan;
    ASSERT_NO_FATAL_FAILURE(make_ideal_scan(stray, 2.0, 20, &scan));
    save_scan(t, 2, scan);
    r = decode_stack(t);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.tail, "unpaprel: scan_0002.png belongs to another archive: its label says page 1 "
                      "of 1, \"other\", where the others say 3 pages, \"page\"\n"
                      "unpaprel: the labels announce 3 pages, but page 2 was not found; "
                      "--keep-going reads past a missing scan\n");
}

} // namespace
