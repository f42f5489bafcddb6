// Error correction and damage report: clean, corrected and irreparable
// codewords with their coordinates, counters and debug marks, the margin
// lines drawn once giving the image drawing them every time gives, and the
// page summary with the known percentages.
#include "stage_internals.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace {

const char header[] =
    "The following coordinates have damaged bits. \",\" is black dirt, \"'\" white dirt, "
    "\":\"bit which is a part of an irreparable symbol. Exclamation marks (!) indicate "
    "irreparable damage: ";

// A page at one input pixel per page pixel with a margin of 20: data-area
// pixel (x, y) is input pixel (x + 22, y + 22).
std::unique_ptr<test_page> exact_page()
{
    auto t = draw_test_page(1, 20, {});
    set_exact_crosses(*t);
    return t;
}

std::string coordinate(uint32_t k, uint32_t n, char mark)
{
    int32_t x, y;
    bit_to_pixel(n * codewords_per_page + k, &x, &y);
    return std::to_string(x + 22) + mark + std::to_string(y + 22) + " ";
}

struct decoded {
    uint32_t data;
    std::string err;
};

decoded decode(decoder_run &run, test_page &t, uint64_t word, uint32_t k)
{
    testing::internal::CaptureStderr();
    uint32_t data = decode_codeword(run, t.page, word, k);
    flush_damage_list();
    return {data, testing::internal::GetCapturedStderr()};
}

TEST(DecodeCodeword, CleanWordPasses)
{
    auto t = exact_page();
    decoder_run run;
    decoded d = decode(run, *t, 0xABCA13, 7);
    EXPECT_EQ(d.data, 0xABCu);
    EXPECT_EQ(d.err, "");
    EXPECT_EQ(run.damage.golay_stats[0], 1u);
    EXPECT_EQ(run.damage.bad_bits, 0u);
}

TEST(DecodeCodeword, SingleBitErrorsOfBothKinds)
{
    auto t = exact_page();
    decoder_run run;
    // 0xABCA13 has a 0 at bit 22 (n = 1): a 1 received there is black dirt.
    decoded d = decode(run, *t, 0xABCA13 ^ 0x400000, 5);
    EXPECT_EQ(d.data, 0xABCu);
    EXPECT_EQ(d.err, header + coordinate(5, 1, ','));
    EXPECT_EQ(run.damage.black_dirt, 1u);
    EXPECT_EQ(run.damage.bad_bits, 1u);
    EXPECT_EQ(run.damage.golay_stats[1], 1u);
    // Its bit 0 (n = 23) is a 1: a 0 received is white dirt; no second header.
    d = decode(run, *t, 0xABCA13 ^ 0x000001, 6);
    EXPECT_EQ(d.data, 0xABCu);
    EXPECT_EQ(d.err, coordinate(6, 23, '\''));
    EXPECT_EQ(run.damage.white_dirt, 1u);
    EXPECT_EQ(run.damage.bad_bits, 2u);
    EXPECT_EQ(run.damage.golay_stats[1], 2u);
}

TEST(DecodeCodeword, ThreeErrorsInOrderOfBitIndex)
{
    auto t = exact_page();
    decoder_run run;
    // Data bits flipped at n = 0 and 5, a parity bit at n = 20 of 0xDEF732.
    decoded d = decode(run, *t, 0xDEF732 ^ 0x800000 ^ 0x040000 ^ 0x000008, 1234);
    EXPECT_EQ(d.data, 0xDEFu);
    // 0xDEF732: bit 23 is 1 (received 0), bit 18 is 1 (received 0), bit 3 is 0.
    EXPECT_EQ(d.err, header + coordinate(1234, 0, '\'') + coordinate(1234, 5, '\'') +
                         coordinate(1234, 20, ','));
    EXPECT_EQ(run.damage.golay_stats[3], 1u);
    EXPECT_EQ(run.damage.white_dirt, 2u);
    EXPECT_EQ(run.damage.black_dirt, 1u);
}

TEST(DecodeCodeword, FourErrorsAreIrreparable)
{
    auto t = exact_page();
    decoder_run run;
    const uint64_t received = 0x123207 ^ 0xF00000; // four data bits wrong
    decoded d = decode(run, *t, received, 42);
    EXPECT_EQ(d.data, (uint32_t)(received >> 12));
    std::string expected = "\n" + std::string(header);
    for (uint32_t n = 0; n < 24; n++)
        expected += coordinate(42, n, ':');
    expected += "!\n";
    EXPECT_EQ(d.err, expected);
    EXPECT_EQ(run.damage.irreparable, 4u);
    EXPECT_EQ(run.damage.bad_bits, 4u);
    EXPECT_EQ(run.damage.golay_stats[4], 1u);
    EXPECT_EQ(run.damage.black_dirt + run.damage.white_dirt, 0u);
}

// Kind 1 (black dirt): a ring of 255 at distance r = 2 around 0 at distance
// 1, and black lines from the left and top margins; kind 0 (white dirt):
// 0 around 255 and lines to the right and bottom margins.
TEST(PrintBadbit, RingsAndMarginLines)
{
    auto t = exact_page();
    std::fill(t->work.begin(), t->work.end(), 77);
    decoder_run run;
    testing::internal::CaptureStderr();
    print_badbit(run, t->page, 0, 0, black_dirt_kind);  // data (6, 0): input (28, 22)
    print_badbit(run, t->page, 0, 23, white_dirt_kind); // data (864, 2121): input (886, 2143)
    flush_damage_list();
    testing::internal::GetCapturedStderr();
    const uint32_t w = t->page.width, h = t->page.height;
    auto at = [&](int64_t x, int64_t y) { return t->work[(size_t)y * w + (size_t)x]; };
    EXPECT_EQ(at(28, 22), 77); // for r = 2 the centre is left alone
    EXPECT_EQ(at(27, 21), 0);
    EXPECT_EQ(at(29, 23), 0);
    EXPECT_EQ(at(30, 22), 255);
    EXPECT_EQ(at(26, 20), 255);
    EXPECT_EQ(at(28, 24), 255);
    EXPECT_EQ(at(31, 22), 77);
    for (int64_t x = 0; x < 20; x++)
        EXPECT_EQ(at(x, 22), 0);
    for (int64_t y = 0; y < 20; y++)
        EXPECT_EQ(at(28, y), 0);
    EXPECT_EQ(at(20, 22), 77);
    EXPECT_EQ(at(28, 20), 255); // the ring, not the margin line

    EXPECT_EQ(at(886, 2143), 77);
    EXPECT_EQ(at(885, 2142), 255);
    EXPECT_EQ(at(888, 2143), 0);
    EXPECT_EQ(at(884, 2141), 0);
    for (int64_t x = 20 + page_width; x < w; x++)
        EXPECT_EQ(at(x, 2143), 0);
    for (int64_t y = 20 + page_height; y < h; y++)
        EXPECT_EQ(at(886, y), 0);
    EXPECT_EQ(at(20 + page_width - 1, 2143), 77);
    EXPECT_EQ(run.damage.black_dirt, 1u);
    EXPECT_EQ(run.damage.white_dirt, 1u);
}

TEST(PrintBadbit, IrreparableColoursAndScanEdge)
{
    // No margin: the damaged bit at data (6, 0) is input (8, 2), so its
    // ring of distance 6 sticks out of the scan above and to the left.
    auto t = draw_test_page(1, 0, {});
    set_exact_crosses(*t);
    t->page.bit_width = t->page.bit_height = 3; // r = 6
    std::fill(t->work.begin(), t->work.end(), 77);
    decoder_run run;
    testing::internal::CaptureStderr();
    print_badbit(run, t->page, 0, 0, irreparable_kind);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << "gathered, not yet written";
    testing::internal::CaptureStderr();
    flush_damage_list();
    EXPECT_EQ(testing::internal::GetCapturedStderr(), header + std::string("8:2 "));
    const uint32_t w = t->page.width;
    auto at = [&](int64_t x, int64_t y) { return t->work[(size_t)y * w + (size_t)x]; };
    EXPECT_EQ(at(8 + 6, 2), 128);
    EXPECT_EQ(at(8 - 6, 2 + 6), 128);
    EXPECT_EQ(at(8 + 5, 2), 0);
    EXPECT_EQ(at(8, 2 + 5), 0);
    EXPECT_EQ(at(8, 2), 77);
    EXPECT_EQ(run.damage.bad_bits, 0u); // counted per codeword by the decoder
}

// A list longer than the buffer it is gathered in comes out whole and in
// order, and the summary follows it.
TEST(PrintBadbit, LongListComesOutWholeBeforeTheSummary)
{
    auto t = exact_page();
    decoder_run run;
    std::string expected = header;
    testing::internal::CaptureStderr();
    for (uint32_t k = 0; k < 9000; k++) {
        const uint32_t n = k % 24;
        const int32_t kind = (int32_t)(k % 3);
        print_badbit(run, t->page, (int32_t)k, (int32_t)n, kind);
        expected += coordinate(k, n, "',:"[kind]);
    }
    report_page_damage(run);
    const std::string err = testing::internal::GetCapturedStderr();
    ASSERT_GT(expected.size(), 65536u);
    EXPECT_TRUE(err.compare(0, expected.size(), expected) == 0);
    EXPECT_EQ(err.find("\n6000 bits bad from 3196368", expected.size()), expected.size());
}

// Damaged bits of every kind, and sample marks of every value, some of them
// on the margins, on a page whose bounds are drawn well inside the data
// area so that rings and marks often land on the lines: with the record of
// whole lines (as read_page_bits keeps it) or without it, the debug image
// comes out the same.
std::vector<uint8_t> marked_debug_image(bool with_record)
{
    auto t = exact_page();
    page_state &page = t->page;
    page.page_left = page.page_top = 300;
    page.page_right = page.width - 300;
    page.page_bottom = page.height - 300;
    if (with_record)
        begin_margin_lines(page);
    decoder_run run;
    std::mt19937 random(11);
    testing::internal::CaptureStderr();
    for (int i = 0; i < 20000; i++) {
        const int32_t kind = (int32_t)(random() % 3);
        print_badbit(run, page, (int32_t)(random() % codewords_per_page),
                     (int32_t)(random() % codeword_bits), kind);
        // A mark on the left or top margin's first rows or columns, or
        // anywhere, with black now and then.
        const size_t x = random() % (i % 2 ? 320 : page.width), y = random() % page.height;
        const size_t pixel = y * page.width + x;
        const uint8_t value = (uint8_t)(random() % 4 == 0 ? 0 : random() % 256);
        page.work[pixel] = value;
        note_debug_mark(page, pixel, value);
    }
    flush_damage_list();
    testing::internal::GetCapturedStderr();
    if (with_record)
        end_margin_lines(page);
    return t->work;
}

TEST(PrintBadbit, MarginLinesDrawnOnceGiveTheSameImage)
{
    const std::vector<uint8_t> every_time = marked_debug_image(false);
    EXPECT_TRUE(marked_debug_image(true) == every_time);
}

TEST(PrintBadbit, InvalidPositionIsAnAssertion)
{
    auto t = exact_page();
    decoder_run run;
    EXPECT_DEATH(print_badbit(run, t->page, 0, 24, black_dirt_kind),
                 "print_badbit: Assertion `x>=0' failed");
    // The list gathered so far goes out before the report.
    EXPECT_DEATH(
        {
            print_badbit(run, t->page, 0, 0, black_dirt_kind);
            print_badbit(run, t->page, 0, 24, black_dirt_kind);
        },
        "28,22 unpaprel: unpaprel:[0-9]+: print_badbit: Assertion");
}

TEST(ReceiveBit, AssemblesMostSignificantFirst)
{
    auto t = exact_page();
    decoder_run run;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (uint32_t word : {0xABCA13u, 0xDEF732u ^ 0x10u})
        for (int n = 0; n < 24; n++) {
            receive_bit(run, t->page, (int)(word >> (23 - n) & 1), 9);
            EXPECT_EQ(run.received_count, n == 23 ? 0u : (uint32_t)n + 1);
        }
    flush_damage_list();
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\xAB\xCD\xEF");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), header + coordinate(9, 19, '\''));
    EXPECT_EQ(run.damage.golay_stats[0], 1u);
    EXPECT_EQ(run.damage.golay_stats[1], 1u);
}

std::string report(decoder_run &run)
{
    testing::internal::CaptureStderr();
    report_page_damage(run);
    return testing::internal::GetCapturedStderr();
}

TEST(ReportPageDamage, CleanPage)
{
    decoder_run run;
    run.damage.golay_stats[0] = codewords_per_page;
    EXPECT_EQ(report(run),
              "No bad bits!\nGolay stats\n===========\n0 bad bits      133182\n1 bad bit       0\n"
              "2 bad bits      0\n3 bad bits      0\n4 bad bits      0\ntotal codewords 133182\n");
}

TEST(ReportPageDamage, TwentyThreeBadBits)
{
    decoder_run run;
    run.damage.black_dirt = 10;
    run.damage.white_dirt = 5;
    run.damage.irreparable = 8;
    run.damage.bad_bits = 23;
    const uint64_t stats[5] = {133172, 3, 3, 2, 2};
    std::copy(stats, stats + 5, run.damage.golay_stats);
    EXPECT_EQ(report(run),
              "\n23 bits bad from 3196368, bit error rate 0.000719567%. 43.4783% black dirt, "
              "21.7391% white dirt "
              "and 8 (34.7826%) irreparable.\nGolay stats\n===========\n0 bad bits      133172\n"
              "1 bad bit       3\n2 bad bits      3\n3 bad bits      2\n4 bad bits      2\n"
              "total codewords 133182\n");
}

} // namespace
