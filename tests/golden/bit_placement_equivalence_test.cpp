// paprel draws a page's codewords row by row, one bit index along a run of
// pixels at a time, instead of placing every bit through bit_to_pixel; it
// must put every bit where bit_to_pixel says and touch nothing else.
#include "encoder_internals.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <random>
#include <vector>

namespace {

// The record the writer draws into, static as in paprel: 4 MB, aligned to
// 2 MB.  Only its page buffer and the bit writer's fields are used here.
paprel_run &the_run()
{
    static paprel_run record;
    return record;
}

// Every bit of every codeword, where bit_to_pixel puts it.
void expect_placed_as_the_rule_says(const paprel_run &run, const std::vector<uint32_t> &codewords)
{
    for (uint32_t k = 0; k < codewords_per_page; k++)
        for (uint32_t n = 0; n < 24; n++) {
            int32_t x, y;
            bit_to_pixel(n * codewords_per_page + k, &x, &y);
            const uint8_t expected = (codewords[k] >> (23 - n)) & 1 ? 0 : 255;
            ASSERT_EQ(run.page_buffer[(uint32_t)(y + 2) * page_width + (uint32_t)(x + 2)], expected)
                << "codeword " << k << ", bit " << n;
        }
}

TEST(bit_placement, every_codeword_of_a_page_in_order_and_out_of_order)
{
    paprel_run &run = the_run();
    std::mt19937 random(31);
    std::vector<uint32_t> order;
    for (uint32_t k = 0; k < codewords_per_page; k++)
        order.push_back(k);
    // After a whole page in order, indices again: the ends of the page and
    // of runs and random ones; the last codeword placed at an index counts.
    for (uint32_t k :
         {0u, 133181u, 5u, 6u, 17u, 18u, 19u, 1151u, 1152u, 6911u, 6912u, 8453u, 8454u, 0u, 1u})
        order.push_back(k);
    for (int i = 0; i < 2000; i++)
        order.push_back(random() % codewords_per_page);
    std::vector<uint32_t> expected(codewords_per_page);
    for (uint32_t k : order) {
        expected[k] = (uint32_t)golay_encode(random() & 0xFFF);
        run.codeword_index = k;
        place_codeword(run, expected[k]);
    }
    // Grey everywhere first: a bit position left undrawn, or a drawn pixel
    // that is no bit position, shows up as a wrong count of grey pixels.
    std::fill(std::begin(run.page_buffer), std::end(run.page_buffer), 128);
    render_page(run);
    expect_placed_as_the_rule_says(run, expected);
    const auto grey = std::count(std::begin(run.page_buffer), std::end(run.page_buffer), 128);
    EXPECT_EQ((uint32_t)grey, page_pixels - bits_per_page);
    for (uint32_t x = 0; x < 2 * chalf; x++)
        EXPECT_EQ(run.page_buffer[(2 + 24) * page_width + 2 + 24 + x], 128)
            << "a cross stays as it was";
}

// Encodes `bytes` from an empty page, with `extra_bits` zero bits first so
// that the bytes start in the middle of a group; returns the page and the
// writer's state.
struct encoded {
    std::vector<uint8_t> page;
    uint64_t accumulator, index;
};

encoded encode(const std::vector<uint8_t> &bytes, int extra_bits, bool in_blocks)
{
    paprel_run &run = the_run();
    clear_page_codewords(run);
    run.bit_accumulator = 1;
    for (int i = 0; i < extra_bits; i++)
        EXPECT_FALSE(failed(feed_bit(run, 1)));
    if (in_blocks) {
        // Blocks of uneven sizes, as reads may return them.
        for (size_t at = 0; at < bytes.size();) {
            size_t n = std::min<size_t>(bytes.size() - at, 1 + at % 7000);
            EXPECT_FALSE(failed(feed_bytes(run, bytes.data() + at, n)));
            at += n;
        }
    } else {
        for (uint8_t b : bytes)
            EXPECT_FALSE(failed(feed_byte(run, b)));
    }
    render_page(run);
    return {std::vector<uint8_t>(std::begin(run.page_buffer), std::end(run.page_buffer)),
            run.bit_accumulator, run.codeword_index};
}

TEST(bit_placement, bytes_in_blocks_make_the_page_bytes_one_by_one_make)
{
    std::mt19937 random(37);
    std::vector<uint8_t> bytes(150000);
    for (auto &b : bytes)
        b = (uint8_t)random();
    for (int extra_bits : {0, 1, 4, 8, 11}) {
        for (size_t size : {0u, 1u, 2u, 3u, 4u, 5u, 150000u}) {
            std::vector<uint8_t> part(bytes.begin(), bytes.begin() + size);
            encoded one_by_one = encode(part, extra_bits, false),
                    blocks = encode(part, extra_bits, true);
            EXPECT_TRUE(one_by_one.page == blocks.page)
                << extra_bits << " bits, " << size << " bytes";
            EXPECT_EQ(one_by_one.accumulator, blocks.accumulator);
            EXPECT_EQ(one_by_one.index, blocks.index);
        }
    }
}

} // namespace
