// Level analysis: the cutting point iteration on small known histograms, its
// exact report lines, the not-a-number passes and the 32-pass limit.
#include "page_state.h"

#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <sstream>

namespace {

struct level_result {
    std::string messages;
    unsigned average, cutlevel, fill_cutlevel;
};

// Runs find_levels on one row holding `counts[i]` pixels of `values[i]`.
level_result analyse(const std::vector<std::pair<uint8_t, size_t>> &runs)
{
    std::vector<uint8_t> pixels;
    for (const auto &run : runs)
        pixels.insert(pixels.end(), run.second, run.first);
    auto page = std::make_unique<page_state>();
    page->width = (uint32_t)pixels.size();
    page->height = 1;
    page->image = pixels.data();
    level_result r;
    r.messages = capture_stderr([&] { find_levels(*page); });
    for (const auto &run : runs)
        EXPECT_EQ(page->histogram[run.first], run.second);
    r.average = page->average;
    r.cutlevel = page->cutlevel;
    r.fill_cutlevel = page->fill_cutlevel;
    return r;
}

TEST(find_levels, black_and_white_pixel)
{
    level_result r = analyse({{0, 1}, {255, 1}});
    const char *line = "Black 0, white 255, cutlevel 26 (0x1a), fill cutlevel 128 (0x80)\n";
    EXPECT_EQ(r.messages, std::string("Average pixel value 128\n") + line + line);
    EXPECT_EQ(r.average, 128u);
    EXPECT_EQ(r.cutlevel, 26u);
    EXPECT_EQ(r.fill_cutlevel, 128u);
}

TEST(find_levels, print_on_paper_converges_in_two_passes)
{
    level_result r = analyse({{230, 800}, {20, 200}});
    const char *line = "Black 20, white 230, cutlevel 41 (0x29), fill cutlevel 125 (0x7d)\n";
    EXPECT_EQ(r.messages, std::string("Average pixel value 188\n") + line + line);
    EXPECT_EQ(r.cutlevel, 41u);
    EXPECT_EQ(r.fill_cutlevel, 125u);
}

TEST(find_levels, empty_sides_give_not_a_number_and_level_zero)
{
    level_result black = analyse({{0, 50}});
    EXPECT_EQ(black.messages, "Average pixel value 0\n"
                              "Black NAN, white NAN, cutlevel 0 (0x00), fill cutlevel 0 (0x00)\n");
    EXPECT_EQ(black.cutlevel, 0u);
    EXPECT_EQ(black.fill_cutlevel, 0u);

    level_result grey = analyse({{200, 9}});
    EXPECT_EQ(grey.messages, "Average pixel value 200\n"
                             "Black NAN, white NAN, cutlevel 0 (0x00), fill cutlevel 0 (0x00)\n"
                             "Black NAN, white 200, cutlevel 0 (0x00), fill cutlevel 0 (0x00)\n");
    EXPECT_EQ(grey.cutlevel, 0u);
    EXPECT_EQ(grey.fill_cutlevel, 0u);
}

TEST(find_levels, average_rounds_halves_up)
{
    EXPECT_EQ(analyse({{0, 1}, {1, 1}}).average, 1u);
    EXPECT_EQ(analyse({{0, 2}, {1, 1}}).average, 0u);
    EXPECT_EQ(analyse({{10, 1}, {13, 1}}).average, 12u);
}

// A dark ramp rising steeply towards mid grey and a white spike: the cutting
// point creeps down one level per pass and is still moving after 32 passes.
// (Found by a search with a separate single-precision model of the passes.)
const size_t creeping_histogram[256] = {
    1,    1,    1,   1,    1,    1,    1,   3,   2,   3,   2,   2,   2,   1,   6,   3,   3,   3,
    3,    2,    3,   5,    5,    5,    6,   10,  7,   7,   8,   11,  10,  10,  13,  12,  13,  14,
    15,   20,   18,  17,   21,   23,   25,  27,  29,  31,  30,  42,  40,  43,  63,  50,  54,  33,
    63,   68,   74,  80,   86,   93,   101, 72,  116, 127, 137, 101, 174, 173, 221, 202, 262, 357,
    243,  275,  349, 321,  413,  397,  404, 587, 471, 347, 585, 594, 642, 693, 748, 808, 873, 943,
    1018, 1100, 945, 1283, 1386, 1497, 0,   0,   0,   0,   0,   0,   0,   0,   0,   2,   0,   0,
    0,    0,    0,   0,    0,    3,    2,   0,   0,   0,   0,   0,   0,   0,   2,   0,   0,   0,
    3,    0,    0,   0,    2,    0,    2,   0,   0,   4,   0,   0,   0,   0,   0,   0,   0,   2,
    2,    2,    0,   0,    2,    0,    0,   0,   0,   0,   0,   0,   0,   0,   2,   0,   0,   0,
    0,    0,    0,   0,    0,    0,    1,   0,   2,   0,   0,   0,   0,   2,   2,   0,   0,   0,
    0,    0,    0,   0,    0,    1,    0,   0,   0,   0,   0,   0,   1,   0,   0,   0,   0,   0,
    0,    0,    0,   0,    2,    0,    1,   0,   0,   0,   0,   0,   3,   0,   0,   0,   0,   1,
    0,    0,    0,   5,    0,    0,    0,   0,   0,   0,   0,   0,   0,   0,   2,   0,   0,   0,
    0,    0,    0,   0,    0,    0,    0,   0,   0,   0,   0,   0,   0,   1,   0,   0,   1,   0,
    0,    0,    0,   30000};

TEST(find_levels, stops_after_32_passes_with_a_warning)
{
    std::vector<std::pair<uint8_t, size_t>> runs;
    for (int v = 0; v < 256; v++)
        if (creeping_histogram[v])
            runs.push_back({(uint8_t)v, creeping_histogram[v]});
    level_result r = analyse(runs);
    std::istringstream lines(r.messages);
    std::string line, last_level_line;
    int level_lines = 0;
    std::getline(lines, line);
    EXPECT_EQ(line, "Average pixel value 186");
    while (std::getline(lines, line) && line.compare(0, 6, "Black ") == 0) {
        level_lines++;
        last_level_line = line;
    }
    EXPECT_EQ(level_lines, 32);
    EXPECT_EQ(line, "Warning: cutting point analysis didn't converge in 32 iterations.");
    EXPECT_FALSE(std::getline(lines, line));
    // The 32nd pass went from cutting point 63 to 62, and its levels stand.
    EXPECT_EQ(r.cutlevel, 62u);
    EXPECT_NE(last_level_line.find("cutlevel 62 (0x3e)"), std::string::npos) << last_level_line;
}

TEST(double_to_int64, converts_as_the_reference_processor)
{
    EXPECT_EQ(double_to_int64(NAN), INT64_MIN);
    EXPECT_EQ(double_to_int64(-NAN), INT64_MIN);
    EXPECT_EQ(double_to_int64(1e300), INT64_MIN);
    EXPECT_EQ(double_to_int64(-1e300), INT64_MIN);
    EXPECT_EQ(double_to_int64(9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(double_to_int64(-9223372036854775808.0), INT64_MIN);
    EXPECT_EQ(double_to_int64(255.9), 255);
    EXPECT_EQ(double_to_int64(-3.7), -3);
    EXPECT_EQ((uint8_t)double_to_int64(256.0), 0);
    EXPECT_EQ((uint8_t)double_to_int64(NAN), 0);
}

} // namespace
