// Image conditioning: the cycle counts and their progress lines, the 2 x 2
// maximum and minimum against a direct computation, the removal of specks,
// and the binomial blur's known values.
#include "stage_internals.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

namespace {

std::string condition_with_bit_sizes(test_page &t, double bit_width, double bit_height)
{
    t.page.bit_width = bit_width;
    t.page.bit_height = bit_height;
    testing::internal::CaptureStderr();
    condition_image(t.page);
    return testing::internal::GetCapturedStderr();
}

void fill_random(test_page &t, unsigned seed)
{
    srand(seed);
    for (auto &v : t.image)
        v = (uint8_t)(rand() % 256);
}

TEST(ConditionImage, CycleCountsAndProgress)
{
    auto t = make_test_page(9, 7);
    fill_random(*t, 1);
    std::vector<uint8_t> before = t->image;
    std::fill(t->work.begin(), t->work.end(), 0);
    EXPECT_EQ(condition_with_bit_sizes(*t, 1, 1), "");
    EXPECT_EQ(t->image, before);
    EXPECT_EQ(t->work, before);

    EXPECT_EQ(condition_with_bit_sizes(*t, 2, 2),
              "Doing 1 cycles of max and 1 cycles of min.\n1 1 \n");
    EXPECT_EQ(t->work, t->image);
    EXPECT_EQ(condition_with_bit_sizes(*t, 4, 4),
              "Doing 2 cycles of max and 2 cycles of min.\n1 2 1 2 \n"
              "Doing 1 cycles of 1 2 1 / 2 4 2 / 1 2 1 blur.\n1 \n");
    EXPECT_EQ(t->work, t->image);
    // The blur count rounds the bit area / 16 half up: 8 gives one cycle.
    EXPECT_EQ(condition_with_bit_sizes(*t, 2, 4),
              "Doing 1 cycles of max and 1 cycles of min.\n1 1 \n"
              "Doing 1 cycles of 1 2 1 / 2 4 2 / 1 2 1 blur.\n1 \n");
    EXPECT_EQ(condition_with_bit_sizes(*t, 2, 3.9999999),
              "Doing 1 cycles of max and 1 cycles of min.\n1 1 \n");
}

// Each pixel becomes the maximum of the 2 x 2 block it is the lower right
// pixel of (minimum: upper left), as far as the block lies in the image.
TEST(ConditionImage, MaxAndMinCyclesAgainstBlocks)
{
    auto t = make_test_page(11, 6);
    fill_random(*t, 2);
    const std::vector<uint8_t> original = t->image;
    const int w = 11, h = 6;
    auto at = [&](int x, int y) { return original[(size_t)y * w + x]; };
    max_cycle(t->page);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t m = at(x, y);
            if (x > 0)
                m = std::max(m, at(x - 1, y));
            if (y > 0)
                m = std::max(m, at(x, y - 1));
            if (x > 0 && y > 0)
                m = std::max(m, at(x - 1, y - 1));
            ASSERT_EQ(t->image[(size_t)y * w + x], m) << x << "," << y;
        }
    t->image = original;
    t->page.image = t->image.data();
    min_cycle(t->page);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            uint8_t m = at(x, y);
            if (x + 1 < w)
                m = std::min(m, at(x + 1, y));
            if (y + 1 < h)
                m = std::min(m, at(x, y + 1));
            if (x + 1 < w && y + 1 < h)
                m = std::min(m, at(x + 1, y + 1));
            ASSERT_EQ(t->image[(size_t)y * w + x], m) << x << "," << y;
        }
}

TEST(ConditionImage, MaxMinRemovesLonePixelKeepsSquare)
{
    auto t = make_test_page(12, 10);
    t->image[2 * 12 + 2] = 0;   // lone pixel
    for (int y = 5; y < 7; y++) // 2 x 2 square
        for (int x = 7; x < 9; x++)
            t->image[(size_t)y * 12 + x] = 0;
    std::vector<uint8_t> expected(12 * 10, 255);
    for (int y = 5; y < 7; y++)
        for (int x = 7; x < 9; x++)
            expected[(size_t)y * 12 + x] = 0;
    max_cycle(t->page);
    min_cycle(t->page);
    EXPECT_EQ(t->image, expected);
}

TEST(ConditionImage, BlurOfLonePixel)
{
    auto t = make_test_page(7, 6);
    t->image[3 * 7 + 4] = 0;
    blur_cycle(t->page);
    auto at = [&](int x, int y) { return t->image[(size_t)y * 7 + x]; };
    EXPECT_EQ(at(4, 3), 191);
    EXPECT_EQ(at(3, 3), 223);
    EXPECT_EQ(at(5, 3), 223);
    EXPECT_EQ(at(4, 2), 223);
    EXPECT_EQ(at(4, 4), 223);
    EXPECT_EQ(at(3, 2), 239);
    EXPECT_EQ(at(5, 4), 239);
    EXPECT_EQ(at(5, 2), 239);
    EXPECT_EQ(at(3, 4), 239);
    EXPECT_EQ(at(1, 3), 255);
    EXPECT_EQ(t->work, t->image);
}

TEST(ConditionImage, BlurKeepsEdgesAndUniformImages)
{
    auto t = make_test_page(8, 5);
    fill_random(*t, 3);
    const std::vector<uint8_t> original = t->image;
    blur_cycle(t->page);
    for (int x = 0; x < 8; x++) {
        EXPECT_EQ(t->image[x], original[x]);
        EXPECT_EQ(t->image[4 * 8 + x], original[4 * 8 + x]);
    }
    for (int y = 0; y < 5; y++) {
        EXPECT_EQ(t->image[(size_t)y * 8], original[(size_t)y * 8]);
        EXPECT_EQ(t->image[(size_t)y * 8 + 7], original[(size_t)y * 8 + 7]);
    }
    EXPECT_NE(t->image, original);

    std::fill(t->image.begin(), t->image.end(), 93);
    const std::vector<uint8_t> uniform = t->image;
    max_cycle(t->page);
    min_cycle(t->page);
    blur_cycle(t->page);
    EXPECT_EQ(t->image, uniform);
}

} // namespace
