// Scans of every PNG colour type and bit depth loaded as 8-bit linear grey,
// broken and oversized files refused with one line, and the debug image's
// gamma table and file.
#include "stage_internals.h"

#include "cli.h"
#include "png_writer.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

struct loaded_scan {
    page_status status = page_decoded;
    std::string reason; // of a refused file
    uint32_t width = 0, height = 0;
    std::vector<uint8_t> pixels;
    std::string messages;
};

// Loads `path`; whatever the outcome, the file must be closed, and a
// refused file must leave nothing allocated.
loaded_scan load(const std::string &path)
{
    auto page = std::make_unique<page_state>();
    page->scan_file = fopen(path.c_str(), "rb");
    loaded_scan scan;
    if (!page->scan_file) {
        ADD_FAILURE() << "cannot open " << path;
        return scan;
    }
    scan.messages = capture_stderr([&] { scan.status = load_png(*page); });
    EXPECT_EQ(page->scan_file, nullptr);
    if (scan.status != page_decoded) {
        EXPECT_EQ(page->image, nullptr);
        EXPECT_EQ(page->work, nullptr);
        scan.reason = page->failure.reason ? page->failure.reason : "(none)";
        return scan;
    }
    scan.width = page->width;
    scan.height = page->height;
    scan.pixels.assign(page->image, page->image + (size_t)page->width * page->height);
    EXPECT_NE(page->work, nullptr);
    free(page->image);
    free(page->work);
    return scan;
}

// 7 x 5, no symmetry, with 0 and 255 among the values.
std::vector<uint8_t> asymmetric_picture()
{
    std::vector<uint8_t> grey(35);
    for (int i = 0; i < 35; i++)
        grey[i] = (uint8_t)(i * 37 % 256);
    grey[3] = 255;
    return grey;
}

// What a file of `depth` bits keeps of grey v, back at 8 bits.
uint8_t at_depth(uint8_t v, int depth)
{
    if (depth >= 8)
        return v;
    unsigned levels = (1u << depth) - 1;
    return (uint8_t)((v >> (8 - depth)) * 255 / levels);
}

struct png_kind {
    int colour_type, bit_depth;
};

constexpr png_kind every_kind[] = {
    {0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
    {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16},
};

class png_io_test : public ::testing::Test {
protected:
    void TearDown() override { remove_tree(dir); }
    std::string dir = make_temp_dir();
};

TEST_F(png_io_test, linear_grey_file_loads_byte_for_byte_and_reports_its_size)
{
    std::vector<uint8_t> grey(16 * 16);
    for (int i = 0; i < 256; i++)
        grey[i] = (uint8_t)(255 - i);
    ASSERT_TRUE(write_png(dir + "/a.png", 16, 16, grey));
    loaded_scan scan = load(dir + "/a.png");
    EXPECT_EQ(scan.messages,
              "Input 16 x 16 pixels, taking 0.000512 megabytes for 2 framebuffers.\n");
    EXPECT_EQ(scan.width, 16u);
    EXPECT_EQ(scan.height, 16u);
    EXPECT_EQ(scan.pixels, grey);
}

TEST_F(png_io_test, file_without_gamma_is_taken_as_display_gamma)
{
    png_options no_gamma;
    no_gamma.gamma = 0;
    ASSERT_TRUE(write_png(dir + "/a.png", 3, 1, {0, 128, 255}, no_gamma));
    EXPECT_EQ(load(dir + "/a.png").pixels, (std::vector<uint8_t>{0, 56, 255}));

    // Low depths are expanded to 0 and 255 before the gamma step.
    png_options one_bit = no_gamma;
    one_bit.bit_depth = 1;
    ASSERT_TRUE(write_png(dir + "/b.png", 3, 2, {0, 255, 255, 0, 0, 255}, one_bit));
    EXPECT_EQ(load(dir + "/b.png").pixels, (std::vector<uint8_t>{0, 255, 255, 0, 0, 255}));
}

TEST_F(png_io_test, every_colour_type_and_depth_gives_one_grey_byte_per_pixel)
{
    std::vector<uint8_t> grey = asymmetric_picture();
    for (const png_kind &kind : every_kind) {
        for (int variant = 0; variant < 4; variant++) {
            png_options o = linear_grey_png();
            o.colour_type = kind.colour_type;
            o.bit_depth = kind.bit_depth;
            o.interlaced = variant & 1;
            o.transparency = variant & 2;
            if (o.transparency && (kind.colour_type & 4))
                continue; // alpha types carry no tRNS chunk
            SCOPED_TRACE(testing::Message() << "colour type " << kind.colour_type << ", depth "
                                            << kind.bit_depth << ", variant " << variant);
            ASSERT_TRUE(write_png(dir + "/k.png", 7, 5, grey, o));
            loaded_scan scan = load(dir + "/k.png");
            ASSERT_EQ(scan.width, 7u);
            ASSERT_EQ(scan.height, 5u);
            for (int i = 0; i < 35; i++)
                ASSERT_EQ(scan.pixels[i], at_depth(grey[i], kind.bit_depth)) << "pixel " << i;
        }
    }
}

TEST_F(png_io_test, interlaced_scan_equals_plain_scan)
{
    std::string noise = random_bytes(61 * 43, 5);
    std::vector<uint8_t> grey(noise.begin(), noise.end());
    png_options plain, interlaced;
    plain.gamma = interlaced.gamma = 0; // through the gamma step as well
    interlaced.interlaced = true;
    ASSERT_TRUE(write_png(dir + "/p.png", 61, 43, grey, plain));
    ASSERT_TRUE(write_png(dir + "/i.png", 61, 43, grey, interlaced));
    loaded_scan a = load(dir + "/p.png"), b = load(dir + "/i.png");
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_NE(a.pixels, grey); // the gamma step did change mid greys
}

// Each broken file is refused with libpng's reason, after at most the size
// line; the driver names the file (see the command-line tests).
void expect_refused(const std::string &path, const std::string &reason)
{
    loaded_scan scan = load(path);
    EXPECT_EQ(scan.status, scan_unreadable) << path;
    EXPECT_EQ(scan.reason, reason) << path;
    EXPECT_EQ(scan.messages.find("unpaprel"), std::string::npos) << scan.messages;
}

TEST_F(png_io_test, unreadable_files_end_with_one_clear_line)
{
    write_file(dir + "/text.png", "this is not a picture\n");
    expect_refused(dir + "/text.png", "Not a PNG file");

    std::vector<uint8_t> grey(40 * 40, 200);
    ASSERT_TRUE(write_png(dir + "/whole.png", 40, 40, grey));
    std::string whole = read_file(dir + "/whole.png");
    write_file(dir + "/short.png", whole.substr(0, whole.size() - 30));
    expect_refused(dir + "/short.png", "Read Error");

    std::string corrupt = whole;
    corrupt[29] ^= 0x55; // the first byte of the header chunk's checksum
    write_file(dir + "/corrupt.png", corrupt);
    expect_refused(dir + "/corrupt.png", "IHDR: CRC error");
}

TEST_F(png_io_test, huge_declared_size_is_refused_before_allocating)
{
    png_options header_only = linear_grey_png();
    header_only.header_only = true;
    ASSERT_TRUE(write_png(dir + "/huge.png", 200000, 200000, {}, header_only));
    expect_refused(dir + "/huge.png", "Invalid IHDR data");
}

TEST(gamma_table, matches_the_display_gamma_samples_and_the_closed_form)
{
    uint8_t table[256];
    fill_gamma_table(table);
    const int samples[][2] = {{0, 0},    {1, 21},    {2, 28},    {8, 53},    {16, 72},  {32, 99},
                              {64, 136}, {128, 186}, {192, 224}, {254, 255}, {255, 255}};
    for (const auto &s : samples)
        EXPECT_EQ(table[s[0]], s[1]) << "entry " << s[0];
    for (int i = 0; i < 256; i++)
        EXPECT_EQ(table[i], (int)floor(255 * pow(i / 255.0, 1 / 2.2) + 0.5)) << "entry " << i;
}

TEST_F(png_io_test, debug_image_is_the_gamma_mapped_work_buffer)
{
    auto page = std::make_unique<page_state>();
    uint8_t work[6] = {0, 255, 128, 1, 64, 0};
    page->width = 3;
    page->height = 2;
    page->work = work;
    page_status status = page_decoded;
    std::string err =
        capture_stderr([&] { status = dump_debug_image(*page, (dir + "/d.pgm").c_str()); });
    EXPECT_EQ(err, "");
    EXPECT_EQ(status, page_decoded);
    EXPECT_EQ(read_file(dir + "/d.pgm"), std::string("P5\n3 2\n255\n\x00\xff\xba\x15\x88\x00", 17));
    EXPECT_EQ(work[2], 186); // mapped in place

    // A file that cannot be created is reported with its reason, for the
    // driver's warning, and nothing is printed here.
    std::string missing = dir + "/no/such/dir/d.pgm";
    err = capture_stderr([&] { status = dump_debug_image(*page, missing.c_str()); });
    EXPECT_EQ(err, "");
    EXPECT_EQ(status, debug_image_not_opened);
    EXPECT_EQ(page->failure.error, ENOENT);
}

TEST_F(png_io_test, failure_image_is_the_image_through_the_gamma_table)
{
    auto page = std::make_unique<page_state>();
    uint8_t image[4] = {0, 1, 128, 255}, work[4] = {9, 9, 9, 9};
    page->width = 2;
    page->height = 2;
    page->image = image;
    page->work = work;
    EXPECT_EQ(dump_failure_image(*page, (dir + "/f.pgm").c_str()), page_decoded);
    EXPECT_EQ(read_file(dir + "/f.pgm"), std::string("P5\n2 2\n255\n\x00\x15\xba\xff", 15));
    EXPECT_EQ(image[2], 128); // the image itself is left as it was
}

TEST_F(png_io_test, debug_image_maps_every_byte_across_pieces_and_an_odd_end)
{
    // 301 x 219 pixels: more than one 64 KB piece and an odd number of bytes,
    // with every byte value next to every other kind of neighbour.
    auto page = std::make_unique<page_state>();
    page->width = 301;
    page->height = 219;
    std::vector<uint8_t> work(301 * 219);
    for (size_t i = 0; i < work.size(); i++)
        work[i] = (uint8_t)(i * 7 + i / 256);
    const std::vector<uint8_t> original = work;
    page->work = work.data();
    EXPECT_EQ(capture_stderr([&] { dump_debug_image(*page, (dir + "/big.pgm").c_str()); }), "");
    uint8_t table[256];
    fill_gamma_table(table);
    std::string expected = "P5\n301 219\n255\n";
    for (size_t i = 0; i < original.size(); i++) {
        ASSERT_EQ(work[i], table[original[i]]) << "pixel " << i;
        expected += (char)table[original[i]];
    }
    EXPECT_TRUE(read_file(dir + "/big.pgm") == expected);
}

} // namespace
