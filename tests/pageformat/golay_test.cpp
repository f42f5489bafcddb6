// The Golay table against literal codewords, its algebraic properties, and
// bit_count against a naive bit loop.
#include "page_format.h"

#include <gtest/gtest.h>

namespace {

TEST(Golay, KnownCodewords)
{
    EXPECT_EQ(golay_encode(0), 0u);
    EXPECT_EQ(golay_encode(1), 0x183Fu);
    EXPECT_EQ(golay_encode(0x800), 0x800FC1u);
    EXPECT_EQ(golay_encode(0xFFF), 0xFFFFFFu);
    EXPECT_EQ(golay_encode(0x1001), golay_encode(1));
    EXPECT_EQ(golay_encode(0xABC), 0xABCA13u);
    EXPECT_EQ(golay_encode(0xDEF), 0xDEF732u);
    EXPECT_EQ(golay_encode(0xFF0), 0xFF05DBu);
    EXPECT_EQ(golay_encode(0x123), 0x123207u);
    EXPECT_EQ(golay_encode(0x456), 0x456567u);
    EXPECT_EQ(golay_encode(0x780), 0x780452u);
}

TEST(Golay, SystematicAndLinear)
{
    for (uint32_t d = 0; d < 4096; d++) {
        ASSERT_EQ(golay_table[d] >> 12, d);
        ASSERT_EQ(golay_table[d] >> 24, 0u);
    }
    for (uint32_t a = 0; a < 4096; a += 7)
        for (uint32_t b = 0; b < 4096; b += 13)
            ASSERT_EQ(golay_table[a] ^ golay_table[b], golay_table[a ^ b]);
}

// The weight distribution of the extended Golay code; with linearity it
// also proves the minimum distance of 8.
TEST(Golay, WeightDistribution)
{
    uint32_t weights[25] = {};
    for (uint32_t d = 0; d < 4096; d++)
        weights[bit_count(golay_table[d])]++;
    for (uint32_t w = 0; w <= 24; w++) {
        uint32_t expected = w == 0 || w == 24 ? 1 : w == 8 || w == 16 ? 759 : w == 12 ? 2576 : 0;
        EXPECT_EQ(weights[w], expected) << "weight " << w;
    }
}

TEST(BitCount, AgreesWithALoopAndIgnoresHighBits)
{
    EXPECT_EQ(bit_count(0), 0u);
    EXPECT_EQ(bit_count(0xFFFFFFFFu), 32u);
    EXPECT_EQ(bit_count(0xFFFFFF), 24u);
    EXPECT_EQ(bit_count(0x183F), 8u);
    EXPECT_EQ(bit_count(0xFFFFFFFF00000000ull), 0u);
    EXPECT_EQ(bit_count(0x1234567800000001ull), 1u);
    uint32_t v = 0x9E3779B9u;
    for (int i = 0; i < 1000; i++) {
        v = v * 1664525u + 1013904223u;
        uint32_t naive = 0;
        for (int b = 0; b < 32; b++)
            naive += v >> b & 1;
        ASSERT_EQ(bit_count(v), naive) << std::hex << v;
    }
}

} // namespace
