// Bit sampling: the cells and fractions at the data area's edges, the
// decision and its tie, the debug marks, and a whole drawn page read back
// codeword by codeword into the payload bytes.
#include "stage_internals.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

TEST(BitCell, EdgesUseTheOutermostCells)
{
    struct {
        int32_t x, y, cx, cy;
        double fx24, fy24;
    } cases[] = {
        {0, 0, 0, 0, -2.5, -2.5},         {2, 1, 0, 0, -0.5, -1.5},
        {3, 26, 0, 0, 0.5, 23.5},         {27, 27, 1, 1, 0.5, 0.5},
        {1538, 2210, 63, 91, 23.5, 23.5}, {1539, 2211, 63, 91, 24.5, 24.5},
        {1541, 2213, 63, 91, 26.5, 26.5}, {700, 1000, 29, 41, 1.5, 13.5},
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

// read_page_bits on a whole page, its payload and its messages.
struct page_read {
    decoder_run run;
    std::string out, err;
};

page_read read_all_bits(test_page &t)
{
    page_read r;
    clear_damage_stats(r.run);
    testing::internal::CaptureStderr();
    testing::internal::CaptureStdout();
    read_page_bits(r.run, t.page);
    r.out = testing::internal::GetCapturedStdout();
    r.err = testing::internal::GetCapturedStderr();
    return r;
}

// A sample equal to its cutlevel reads 0, one just below it 1.  On a black
// page every sample and every sharpened value is exactly 0, whatever the
// interpolation weights, so every bit of the page follows the cutlevel.
TEST(SampleBit, SampleEqualToCutlevelReadsZero)
{
    auto t = draw_test_page(1, 0, {});
    set_exact_crosses(*t);
    std::fill(t->image.begin(), t->image.end(), 0);
    for (auto &column : t->page.cross_cutlevels)
        for (float &level : column)
            level = 0;
    page_read equal = read_all_bits(*t);
    EXPECT_EQ(equal.out, std::string(payload_bytes_per_page, '\0'));
    EXPECT_EQ(equal.run.damage.golay_stats[0], codewords_per_page);
    for (auto &column : t->page.cross_cutlevels)
        for (float &level : column)
            level = 0.001f;
    page_read above = read_all_bits(*t);
    EXPECT_EQ(above.out, std::string(payload_bytes_per_page, '\xFF'));
    EXPECT_EQ(above.run.damage.golay_stats[0], codewords_per_page);
}

TEST(SampleBit, DebugMarksOnEveryEighthRowAndColumn)
{
    auto t = draw_test_page(1, 3, {});
    set_exact_crosses(*t);
    std::fill(t->work.begin(), t->work.end(), 77);
    auto work_at = [&](int32_t x, int32_t y) {
        return t->work[(size_t)(3 + y + 2) * t->page.width + 3 + x + 2];
    };
    auto image_at = [&](int32_t x, int32_t y) -> uint8_t & {
        return t->image[(size_t)(3 + y + 2) * t->page.width + 3 + x + 2];
    };
    // One black bit on the white page: far below zero once sharpened, it is
    // marked white and read as a 1, which its codeword corrects (the ring
    // of that correction reaches two pixels around it).
    image_at(16, 9) = 0;
    page_read r = read_all_bits(*t);
    EXPECT_EQ(r.run.damage.black_dirt, 1u);
    EXPECT_EQ(work_at(16, 9), 255);
    EXPECT_EQ(work_at(19, 11), 77); // neither on a marked row nor column
    EXPECT_EQ(work_at(24, 8), 0);   // white, far above 255 once sharpened
    EXPECT_EQ(work_at(40, 13), 0);  // a marked column
    EXPECT_EQ(work_at(45, 16), 0);  // a marked row
    // Crosses moved far off the scan: samples are white, every mark is
    // dropped and every bit reads 0.
    for (auto &column : t->page.cross_grid)
        for (point_f64 &g : column)
            g.x -= 5000;
    std::fill(t->work.begin(), t->work.end(), 77);
    page_read off = read_all_bits(*t);
    EXPECT_EQ(off.out, std::string(payload_bytes_per_page, '\0'));
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
    page_read r = read_all_bits(*t);
    EXPECT_EQ(r.err, "");
    ASSERT_EQ(r.out.size(), payload_bytes_per_page);
    EXPECT_EQ(r.out.substr(0, 3), "\xAB\xCD\xEF");
    std::string expected;
    for (size_t k = 0; k < words.size(); k += 2) {
        expected += (char)(words[k] >> 4);
        expected += (char)((words[k] & 0xF) << 4 | words[k + 1] >> 8);
        expected += (char)(words[k + 1] & 0xFF);
    }
    EXPECT_EQ(r.out.substr(0, expected.size()), expected);
    EXPECT_EQ(r.out.find_first_not_of('\0', expected.size()), std::string::npos);
    EXPECT_EQ(r.run.damage.golay_stats[0], codewords_per_page);
    EXPECT_EQ(r.run.damage.bad_bits, 0u);
    EXPECT_EQ(r.run.received_count, 0u);
}

// Every step-th codeword only: the same words as the whole page gives at
// those indices, and whole bytes at the end.
TEST(ReadPageBits, EveryStepthCodewordOnly)
{
    std::vector<uint32_t> words(400);
    for (size_t k = 0; k < words.size(); k++)
        words[k] = (uint32_t)(k * 2654435761u >> 20) & 0xFFF;
    auto t = draw_test_page(1, 4, words);
    set_exact_crosses(*t);
    page_read whole = read_all_bits(*t);
    page_read sparse;
    sparse.run.codeword_step = 97;
    testing::internal::CaptureStdout();
    read_page_bits(sparse.run, t->page);
    sparse.out = testing::internal::GetCapturedStdout();
    // 1374 codewords of 12 bits: 2061 bytes, nothing held back.
    ASSERT_EQ(sparse.out.size(), 2061u);
    EXPECT_EQ(sparse.run.output_byte, 1);
    EXPECT_EQ(sparse.run.damage.golay_stats[0], 1374u);
    auto word_at = [](const std::string &bytes, size_t k) {
        const size_t bit = k * 12;
        const uint32_t two = (uint8_t)bytes[bit / 8] << 8 | (uint8_t)bytes[bit / 8 + 1];
        return bit % 8 == 0 ? two >> 4 : two & 0xFFF;
    };
    for (size_t i = 0; i < 10; i++)
        EXPECT_EQ(word_at(sparse.out, i), word_at(whole.out, i * 97)) << "codeword " << i * 97;
}

} // namespace
