// paprel's bit writer follows each bit index along its run of pixels
// instead of placing every bit through bit_to_pixel; it must put every bit
// where bit_to_pixel says, whatever order the codeword indices come in.
#include "paprel.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

// The 24 pixels of codeword `codeword` at index k, by bit_to_pixel.
void expect_placed_as_the_rule_says(uint64_t codeword, uint32_t k)
{
    for (uint32_t n = 0; n < 24; n++) {
        int32_t x, y;
        bit_to_pixel(n * codewords_per_page + k, &x, &y);
        const uint8_t expected = (codeword >> (23 - n)) & 1 ? 0 : 255;
        ASSERT_EQ(page_buffer[(uint32_t)(y + 2) * page_width + (uint32_t)(x + 2)], expected)
            << "codeword " << k << ", bit " << n;
    }
}

TEST(bit_placement, every_codeword_of_a_page_in_order_and_out_of_order)
{
    std::mt19937 random(31);
    std::vector<uint32_t> order;
    for (uint32_t k = 0; k < codewords_per_page; k++)
        order.push_back(k);
    // A whole page in order, then jumps: back to the start as on a new
    // page, to the last codeword, into the middle of runs, and single steps
    // across the ends of runs.
    for (uint32_t k : {0u, 133181u, 5u, 6u, 17u, 18u, 19u, 1151u, 1152u, 6911u, 6912u, 8453u, 8454u, 0u, 1u})
        order.push_back(k);
    for (int i = 0; i < 2000; i++)
        order.push_back(random() % codewords_per_page);
    for (uint32_t k : order) {
        const uint64_t codeword = golay_encode(random() & 0xFFF);
        codeword_index = k;
        place_codeword(codeword);
        expect_placed_as_the_rule_says(codeword, k);
    }
}

} // namespace
