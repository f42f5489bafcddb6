// Known positions of channel bits and crosses, and the property that the
// direct band formula agrees with plainly counting non-cross pixels.
#include "page_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct placement {
    uint32_t position;
    int32_t x, y;
};

TEST(BitToPixel, KnownPositions)
{
    const placement cases[] = {
        {0, 6, 0},
        {17, 23, 0},
        {18, 30, 0},
        {1151, 1535, 0},
        {1152, 6, 1},
        {6911, 1535, 5},
        {6912, 0, 6},
        {34667, 1541, 23},
        {34668, 6, 24},
        {3189456, 6, 2208},
        {3196367, 1535, 2213},
        {3063186, 864, 2121}, // least significant bit of codeword 0
        {3196368, -1, -1},
        {4294967295u, -1, -1},
    };
    for (const placement &c : cases) {
        int32_t x = 99, y = 99;
        bit_to_pixel(c.position, &x, &y);
        EXPECT_EQ(x, c.x) << "position " << c.position;
        EXPECT_EQ(y, c.y) << "position " << c.position;
    }
}

// Walk the data area in reading order: the p-th non-cross pixel must be the
// pixel of bit position p, which also proves every pixel is hit exactly once.
TEST(BitToPixel, EqualsCountingNonCrossPixelsInReadingOrder)
{
    uint32_t position = 0;
    for (uint32_t y = 0; y < data_height; y++) {
        for (uint32_t x = 0; x < data_width; x++) {
            if (is_cross(x, y))
                continue;
            int32_t bx, by;
            bit_to_pixel(position, &bx, &by);
            ASSERT_EQ(bx, (int32_t)x) << "position " << position;
            ASSERT_EQ(by, (int32_t)y) << "position " << position;
            position++;
        }
    }
    EXPECT_EQ(position, bits_per_page);
}

TEST(IsCross, CornersOfTheGrid)
{
    EXPECT_TRUE(is_cross(0, 0));
    EXPECT_TRUE(is_cross(5, 5));
    EXPECT_TRUE(is_cross(1541, 2213));
    EXPECT_TRUE(is_cross(24 * 64, 24 * 92));
    EXPECT_FALSE(is_cross(6, 0));
    EXPECT_FALSE(is_cross(0, 6));
    EXPECT_FALSE(is_cross(23, 23));
    EXPECT_FALSE(is_cross(5, 6));
}

TEST(IsCross, CountsTheCrossPixels)
{
    uint32_t count = 0;
    for (uint32_t y = 0; y < data_height; y++)
        for (uint32_t x = 0; x < data_width; x++)
            count += is_cross(x, y);
    EXPECT_EQ(count, 217620u);
    EXPECT_EQ(cross_pixels, 217620u);
}

TEST(PageConstants, CapacityFigures)
{
    EXPECT_EQ(page_width * page_height, 3466132u);
    EXPECT_EQ(data_width * data_height, 3413988u);
    EXPECT_EQ(codewords_per_page, 133182u);
    EXPECT_EQ(payload_bytes_per_page, 199773u);
    EXPECT_EQ(label_top, 2216u);
    EXPECT_STREQ(PAGE_FORMAT_STRING, "0-65-93-24-3-1-2-24");
}

} // namespace
