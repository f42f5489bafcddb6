// Page file headers: what paprel writes, what other tools may write, and
// every way a file can fail to be a paprel page.
#include "pgm_page.h"

#include "page_format.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Pixels that differ from row to row and column to column, so that a shifted
// or swapped read shows.
std::string page_pixels_pattern()
{
    std::string pixels(page_pixels, '\0');
    for (uint32_t i = 0; i < page_pixels; i++)
        pixels[i] = (char)((i * 7 + i / page_width * 13) & 0xFF);
    return pixels;
}

struct read_result {
    const char *problem;
    std::vector<unsigned char> pixels;
};

read_result read_page(const std::string &file_bytes)
{
    read_result result{nullptr, std::vector<unsigned char>(page_pixels, 0xAA)};
    FILE *file = tmpfile();
    fwrite(file_bytes.data(), 1, file_bytes.size(), file);
    rewind(file);
    result.problem = read_pgm_page(file, result.pixels.data());
    fclose(file);
    return result;
}

const std::string paprel_header = "P5\n1546 2242\n255\n";

TEST(PgmPage, ReadsThePageThatPaprelWrites)
{
    std::string pixels = page_pixels_pattern();
    read_result result = read_page(paprel_header + pixels);
    EXPECT_EQ(result.problem, nullptr);
    EXPECT_EQ(std::string(result.pixels.begin(), result.pixels.end()), pixels);
}

TEST(PgmPage, AcceptsOtherValidHeaderSpacingAndComments)
{
    std::string pixels = page_pixels_pattern();
    for (const char *header : {"P5 1546 2242 255\n", "P5\n# made by a tool\n1546\t2242\r\n255\n",
                               "P5#comment\n  1546 \n2242 # rows\n255 "}) {
        read_result result = read_page(header + pixels);
        EXPECT_EQ(result.problem, nullptr) << header;
        EXPECT_EQ(result.pixels[0], (unsigned char)pixels[0]) << header;
        EXPECT_EQ(result.pixels[page_pixels - 1], (unsigned char)pixels[page_pixels - 1]);
    }
}

TEST(PgmPage, RefusesWhatIsNotAPaprelPage)
{
    const std::string pixels = page_pixels_pattern();
    const std::string size = "not a paprel page: the size is not 1546 x 2242 pixels";
    const struct {
        std::string file;
        std::string problem;
    } cases[] = {
        {"", "not a binary PGM file (it does not start with P5)"},
        {"P2\n1546 2242\n255\n" + pixels, "not a binary PGM file (it does not start with P5)"},
        {"P6\n1546 2242\n255\n" + pixels, "not a binary PGM file (it does not start with P5)"},
        {"P5\n1546 2242\n255", "damaged PGM header"},
        {"P5\n1546 x 2242\n255\n" + pixels, "damaged PGM header"},
        {"P5\n2242 1546\n255\n" + pixels, size},
        {"P5\n1546 2241\n255\n" + pixels, size},
        {"P5\n99999999999999999999 2242\n255\n" + pixels, size},
        {"P5\n1546 2242\n65535\n" + pixels + pixels,
         "not a paprel page: the maximum grey value is not 255"},
        {paprel_header + pixels.substr(1), "the file ends before the last pixel"},
        {paprel_header, "the file ends before the last pixel"},
        {paprel_header + pixels + "\n", "more data follows the page's pixels"},
    };
    for (const auto &c : cases) {
        read_result result = read_page(c.file);
        ASSERT_NE(result.problem, nullptr) << c.file.substr(0, 40);
        EXPECT_EQ(result.problem, c.problem) << c.file.substr(0, 40);
    }
}

} // namespace
