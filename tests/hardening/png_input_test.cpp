// The decoder's PNG input at the edges of what libpng accepts: gamma chunks
// at and beyond their legal limits, and try_load_png's promise that a file
// it refuses leaves nothing open or allocated.
#include "cli.h"
#include "page_state.h"
#include "png_writer.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <memory>

namespace {

struct loaded {
    bool ok = false;
    std::vector<uint8_t> pixels;
    std::string reason, messages;
};

loaded load(const std::string &path)
{
    auto page = std::make_unique<page_state>();
    page->scan_file = fopen(path.c_str(), "rb");
    loaded result;
    if (!page->scan_file) {
        ADD_FAILURE() << "cannot open " << path;
        return result;
    }
    result.messages = capture_stderr([&] { result.ok = load_png(*page) == page_decoded; });
    EXPECT_EQ(page->scan_file, nullptr) << "the file is closed either way";
    if (result.ok) {
        result.pixels.assign(page->image, page->image + (size_t)page->width * page->height);
        free(page->image);
        free(page->work);
    } else {
        EXPECT_EQ(page->image, nullptr);
        EXPECT_EQ(page->work, nullptr);
        result.reason = page->failure.reason ? page->failure.reason : "(null)";
    }
    return result;
}

// The gAMA chunk of a file written with gamma 1.0 (100000) set to `value`.
std::string with_gamma(const std::string &png, uint32_t value)
{
    std::string out = png;
    size_t at = out.find("gAMA") - 4;
    for (int i = 0; i < 4; i++)
        out[at + 8 + i] = (char)(value >> (24 - 8 * i));
    uint32_t crc = (uint32_t)crc32(0, (const Bytef *)out.data() + at + 4, 8);
    for (int i = 0; i < 4; i++)
        out[at + 12 + i] = (char)(crc >> (24 - 8 * i));
    return out;
}

class png_input_edges : public ::testing::Test {
protected:
    void TearDown() override { remove_tree(dir); }
    std::string dir = make_temp_dir();
};

// libpng takes gAMA values from 16 to 625000000 (file gammas 0.00016 and
// 6250) and drops others with a warning.  Samples arrive as
// 255 (v / 255)^(1 / gamma): at 0.00016 every grey but white falls to 0.
// At 6250 libpng's png_set_gamma, which reads any value of 128 or more as
// already scaled by 100000, uses 0.0625 instead, so greys darken with the
// power 16 (192 to 3, 254 to 239).  A dropped chunk leaves the default
// 0.454545, the power 2.2 (128 to 56).  libpng's warning about a dropped
// chunk is not printed: the decoder's report is its own.
TEST_F(png_input_edges, gamma_chunk_at_and_beyond_its_limits)
{
    const std::vector<uint8_t> greys = {0, 64, 128, 192, 254, 255};
    ASSERT_TRUE(write_png(dir + "/g.png", 6, 1, greys));
    const std::string png = read_file(dir + "/g.png");
    struct case_ {
        uint32_t gama;
        std::vector<uint8_t> expected;
    } cases[] = {
        {16, {0, 0, 0, 0, 0, 255}},
        {625000000, {0, 0, 0, 3, 239, 255}},
        {15, {0, 12, 56, 137, 253, 255}},
        {625000001, {0, 12, 56, 137, 253, 255}},
    };
    for (const case_ &c : cases) {
        SCOPED_TRACE(c.gama);
        write_file(dir + "/x.png", with_gamma(png, c.gama));
        loaded l = load(dir + "/x.png");
        ASSERT_TRUE(l.ok) << l.reason;
        EXPECT_EQ(l.pixels, c.expected);
        EXPECT_EQ(l.messages, "Input 6 x 1 pixels, taking 1.2E-05 megabytes for 2 framebuffers.\n");
    }
}

TEST_F(png_input_edges, refused_file_leaves_nothing_open_or_allocated)
{
    std::vector<uint8_t> grey(64 * 48, 90);
    ASSERT_TRUE(write_png(dir + "/whole.png", 64, 48, grey));
    std::string whole = read_file(dir + "/whole.png");
    // Cut after the image data began: the frame buffers exist by then.
    write_file(dir + "/cut.png", whole.substr(0, whole.size() - 40));
    loaded l = load(dir + "/cut.png");
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.reason, "Read Error");
    EXPECT_EQ(l.messages, "Input 64 x 48 pixels, taking 0.006144 megabytes for 2 framebuffers.\n");

    write_file(dir + "/text.png", "P5\n1546 2242\n255\n");
    l = load(dir + "/text.png");
    EXPECT_FALSE(l.ok);
    EXPECT_EQ(l.reason, "Not a PNG file");
    EXPECT_EQ(l.messages, "");
}

} // namespace
