// Bit sampling: the cells and fractions at the data area's edges, the
// decision and its tie, the debug marks, and a whole drawn page read back
// codeword by codeword into the payload bytes.
#include "page_state.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(BitCell, EdgesUseTheOutermostCells)
{
    struct { int32_t x, y, cx, cy; double fx24, fy24; } cases[] = {
        {0, 0, 0, 0, -2.5, -2.5},
        {2, 1, 0, 0, -0.5, -1.5},
        {3, 26, 0, 0, 0.5, 23.5},
        {27, 27, 1, 1, 0.5, 0.5},
        {1538, 2210, 63, 91, 23.5, 23.5},
        {1539, 2211, 63, 91, 24.5, 24.5},
        {1541, 2213, 63, 91, 26.5, 26.5},
        {700, 1000, 29, 41, 1.5, 13.5},
    };
    for (const auto &c : cases) {
        bit_cell cell = locate_bit_cell(c.x, c.y);
        EXPECT_EQ(cell.cx, c.cx) << c.x;
        EXPECT_EQ(cell.cy, c.cy) << c.y;
        EXPECT_EQ(cell.fx, c.fx24 / 24.0) << c.x;
        EXPECT_EQ(cell.fy, c.fy24 / 24.0) << c.y;
    }
}

// At one input pixel per page pixel the sampling point of data-area pixel
// (x, y) is exactly the input pixel (x + 2, y + 2) plus the margin.
TEST(SampleBit, PositionOnAnExactGrid)
{
    auto t = draw_test_page(1, 5, {});
    set_exact_crosses(*t);
    for (uint32_t position : {0u, 17u, 6912u, 34667u, 3196367u}) {
        int32_t x, y;
        bit_to_pixel(position, &x, &y);
        point_f64 p = bit_sampling_position(t->page, locate_bit_cell(x, y));
        EXPECT_NEAR(p.x, 5 + x + 2, 1e-9) << position;
        EXPECT_NEAR(p.y, 5 + y + 2, 1e-9) << position;
    }
}

TEST(SampleBit, SampleEqualToCutlevelReadsZero)
{
    auto t = draw_test_page(1, 0, {});
    set_exact_crosses(*t);
    std::fill(t->image.begin(), t->image.end(), 100);
    for (auto &column : t->page.cross_cutlevels)
        for (float &level : column)
            level = 100;
    EXPECT_EQ(sample_bit(t->page, 5000), 0);
    for (auto &column : t->page.cross_cutlevels)
        for (float &level : column)
            level = 100.001f;
    EXPECT_EQ(sample_bit(t->page, 5000), 1);
}

TEST(SampleBit, DebugMarksOnEveryEighthRowAndColumn)
{
    auto t = draw_test_page(1, 3, {});
    set_exact_crosses(*t);
    std::fill(t->work.begin(), t->work.end(), 77);
    auto work_at = [&](int32_t x, int32_t y) { return t->work[(size_t)(3 + y + 2) * t->page.width + 3 + x + 2]; };
    auto image_at = [&](int32_t x, int32_t y) -> uint8_t & {
        return t->image[(size_t)(3 + y + 2) * t->page.width + 3 + x + 2];
    };
    // Positions in the first band's rows without crosses (y = 6 .. 23).
    auto position = [](int32_t x, int32_t y) {
        uint32_t p = (uint32_t)(6912 + (y - 6) * 1542 + x);
        int32_t px, py;
        bit_to_pixel(p, &px, &py);
        EXPECT_TRUE(px == x && py == y);
        return p;
    };
    image_at(16, 9) = 0;                    // black, far below zero once sharpened
    EXPECT_EQ(sample_bit(t->page, position(16, 9)), 1);
    EXPECT_EQ(work_at(16, 9), 255);
    EXPECT_EQ(sample_bit(t->page, position(17, 9)), 0);     // white next to black, unmarked
    EXPECT_EQ(work_at(17, 9), 77);
    EXPECT_EQ(sample_bit(t->page, position(24, 8)), 0);     // white, far above 255 once sharpened
    EXPECT_EQ(work_at(24, 8), 0);
    // Crosses moved far off the scan: samples are white, the mark is dropped.
    for (auto &column : t->page.cross_grid)
        for (point_f64 &g : column)
            g.x -= 5000;
    std::fill(t->work.begin(), t->work.end(), 77);
    EXPECT_EQ(sample_bit(t->page, 0), 0);
    EXPECT_EQ(std::count(t->work.begin(), t->work.end(), 77), (long)t->work.size());
}

// A page drawn with the codewords of known data words is read back whole:
// the bytes on standard output are the data words packed 12 bits at a time
// in codeword order, and the last codewords of the page (white) give zeros.
TEST(ReadPageBits, DrawnPageGivesThePayload)
{
    std::vector<uint32_t> words(1000);
    srand(5);
    for (auto &w : words)
        w = (uint32_t)rand() & 0xFFF;
    words[0] = 0xABC;
    words[1] = 0xDEF;
    auto t = draw_test_page(1, 4, words);
    set_exact_crosses(*t);
    clear_damage_stats();
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    read_page_bits(t->page);
    std::string out = testing::internal::GetCapturedStdout();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err, "");
    ASSERT_EQ(out.size(), payload_bytes_per_page);
    EXPECT_EQ(out.substr(0, 3), "\xAB\xCD\xEF");
    std::string expected;
    for (size_t k = 0; k < words.size(); k += 2) {
        expected += (char)(words[k] >> 4);
        expected += (char)((words[k] & 0xF) << 4 | words[k + 1] >> 8);
        expected += (char)(words[k + 1] & 0xFF);
    }
    EXPECT_EQ(out.substr(0, expected.size()), expected);
    EXPECT_EQ(out.find_first_not_of('\0', expected.size()), std::string::npos);
    EXPECT_EQ(page_damage.golay_stats[0], codewords_per_page);
    EXPECT_EQ(page_damage.bad_bits, 0u);
    EXPECT_EQ(received_count, 0u);
}

} // namespace
