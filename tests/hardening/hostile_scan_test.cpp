// unpaprel on scans drawn to make its work grow with the image's area: a
// ladder of paper, whose margin fill has a front of a seed for every rail
// at every rung, under a memory limit just above the two frames; and a
// noise page in a large white image, whose damaged bits each point at the
// image's edge in the debug image, under a deadline a small part of what
// drawing every bit's lines took (20 s on this one); and a frame around
// blank or black paper, which has no crosses and must not pass as data.
// The scans are written here, a row at a time.
#include "cli.h"
#include "guarded_run.h"
#include "png_file.h"

#include <gtest/gtest.h>

#include <string>

namespace {

const char format[] = "0-65-93-24-3-1-2-24";

class hostile_scan : public ::testing::Test {
protected:
    void TearDown() override { remove_tree(dir); }

    guarded_result decode(guarded_options options)
    {
        options.dir = dir;
        options.stdout_path = "/dev/null";
        return run_guarded({UNPAPREL_BIN, format, "scan"}, options);
    }
    bool write_scan(uint32_t width, uint32_t height, png_row_source *rows)
    {
        png_options fast;
        fast.fast = true;
        return write_png_file((dir + "/scan_0001.png").c_str(), width, height, fast, rows, nullptr,
                              "hostile_scan_test");
    }
    std::string dir = make_temp_dir();
};

constexpr uint32_t ladder_side = 8000;

// Rails of paper down every other column, rungs across every other row.
void ladder_row(const void *, uint32_t y, uint16_t *samples)
{
    for (uint32_t x = 0; x < ladder_side; x++)
        samples[x] = x % 2 == 0 || y % 2 == 0 ? 255 : 0;
}

// The stack that grew with the front took 385 MB here, three times the
// frames' 128 MB, and ran out under this limit.  The sanitizers reserve far
// more address space than the limit allows.
TEST_F(hostile_scan, ladder_of_paper_is_filled_within_the_frames_memory)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address space limit cannot be set under AddressSanitizer";
#endif
    ASSERT_TRUE(write_scan(ladder_side, ladder_side, ladder_row));
    guarded_options limited;
    limited.address_space_limit = 200L << 20;
    guarded_result r = decode(limited);
    EXPECT_TRUE(ended_with(r, 1)); // no page on it
    EXPECT_NE(r.err.find("Removing dirt from the white border: white border identified, data area "
                         "identified, erased "),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.err.find("Cannot allocate"), std::string::npos) << r.err;
}

constexpr uint32_t white_side = 10000, noise_width = 3000, noise_height = 3600;
constexpr uint32_t noise_left = (white_side - noise_width) / 2,
                   noise_top = (white_side - noise_height) / 2;

// Black or white at random, the same for the same pixel on every call.
uint16_t noise_at(uint32_t x, uint32_t y)
{
    uint64_t v = (uint64_t)y * white_side + x + 0x9E3779B97F4A7C15u;
    v = (v ^ (v >> 30)) * 0xBF58476D1CE4E5B9u;
    v = (v ^ (v >> 27)) * 0x94D049BB133111EBu;
    return (v ^ (v >> 31)) & 1 ? 255 : 0;
}

// A page of noise in a 4-pixel black frame, in the middle of white.
void noise_page_row(const void *, uint32_t y, uint16_t *samples)
{
    for (uint32_t x = 0; x < white_side; x++) {
        const uint32_t px = x - noise_left, py = y - noise_top;
        const bool in_page = px < noise_width && py < noise_height;
        const bool in_frame = px < 4 || px >= noise_width - 4 || py < 4 || py >= noise_height - 4;
        samples[x] = !in_page ? 255 : in_frame ? 0 : noise_at(x, y);
    }
}

TEST_F(hostile_scan, noise_page_in_a_large_white_scan_is_reported_in_seconds)
{
    ASSERT_TRUE(write_scan(white_side, white_side, noise_page_row));
    guarded_options quick;
    quick.timeout_seconds = 12; // 1.7 s here
#if defined(__SANITIZE_ADDRESS__)
    quick.timeout_seconds = 60; // the sanitizers' slowdown, not the lines', needs the room
#endif
    guarded_result r = decode(quick);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_NE(r.err.find("irreparable"), std::string::npos) << r.err.substr(0, 2000);
    EXPECT_NE(r.err.find("Writing debug image into scan_0001_debug.pgm."), std::string::npos);
    const std::string header = "P5\n10000 10000\n255\n",
                      debug = read_file(dir + "/scan_0001_debug.pgm");
    EXPECT_EQ(debug.compare(0, header.size(), header), 0);
    EXPECT_EQ(debug.size(), header.size() + (size_t)white_side * white_side);
}

constexpr uint32_t sheet_width = 1600, sheet_height = 2300, sheet_edge = 20;

// A 4-pixel black frame at sheet_edge from the image's sides; inside it,
// paper of the value the row source is given.
void framed_sheet_row(const void *inside, uint32_t y, uint16_t *samples)
{
    const uint32_t py = y - sheet_edge, side_y = sheet_height - 2 * sheet_edge;
    for (uint32_t x = 0; x < sheet_width; x++) {
        const uint32_t px = x - sheet_edge, side_x = sheet_width - 2 * sheet_edge;
        const bool in_page = px < side_x && py < side_y;
        const bool in_frame = px < 4 || px >= side_x - 4 || py < 4 || py >= side_y - 4;
        samples[x] = !in_page ? 255 : in_frame ? 0 : *(const uint16_t *)inside;
    }
}

// Blank paper would read as zero bits, a valid codeword: the sheet passed
// as 199773 bytes of data with status 0.  Solid black is no page either.
// With --keep-going such a sheet is a lost page like a scan without a frame.
TEST_F(hostile_scan, frame_around_blank_or_black_paper_is_not_read_as_data)
{
    for (uint16_t inside : {(uint16_t)255, (uint16_t)0}) {
        SCOPED_TRACE(inside);
        png_options fast;
        fast.fast = true;
        ASSERT_TRUE(write_png_file((dir + "/scan_0001.png").c_str(), sheet_width, sheet_height,
                                   fast, framed_sheet_row, &inside, "hostile_scan_test"));
        guarded_options options;
        options.dir = dir;
        guarded_result r = run_guarded({UNPAPREL_BIN, format, "scan"}, options);
        EXPECT_TRUE(ended_with(r, 1));
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(ends_with(r.err, "\nunpaprel: scan_0001.png shows no registration crosses (0 "
                                     "of 6045 stand out from the paper): a blank sheet, or not a "
                                     "page of this format\n"))
            << r.err.substr(r.err.size() > 2000 ? r.err.size() - 2000 : 0);
        EXPECT_EQ(r.err.find("Writing debug image"), std::string::npos);

        r = run_guarded({UNPAPREL_BIN, "--keep-going", format, "scan"}, options);
        EXPECT_TRUE(ended_with(r, 1));
        EXPECT_EQ(r.out, std::string(199773, '\0'));
        EXPECT_NE(r.err.find("stand out from the paper): a blank sheet, or not a page of this "
                             "format\nPage 1 is lost; writing it as 199773 zero bytes.\n"),
                  std::string::npos);
    }
}

} // namespace
