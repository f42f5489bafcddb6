// Bitmap size, whole-dot offsets and the fit test, worked out by hand from
// the paper sizes in points (A4 595 x 842, letter 612 x 792).
#include "sheet_layout.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

struct placement_case {
    const char *paper;
    uint32_t dpi, dots;
    uint32_t width, height;
    int64_t left, bottom;
    bool fits;
};

TEST(SheetLayout, SizeAndWholeDotOffsets)
{
    const placement_case cases[] = {
        // 4958.33 x 7016.67 dots of A4 at 600 dpi: (4958.33 - 4638) / 2 = 160.17,
        // (7016.67 - 6726) / 2 = 145.33, both rounded down.
        {"a4", 600, 3, 4638, 6726, 160, 145, true},
        {"a4", 1200, 6, 9276, 13452, 320, 290, true},
        {"a4", 2400, 12, 18552, 26904, 640, 581, true},
        // 10200 x 13200 dots: even spare space, exact halves.
        {"letter", 1200, 5, 7730, 11210, 1235, 995, true},
        {"letter", 300, 1, 1546, 2242, 502, 529, true},
        // Taller than the sheet itself: the bottom offset goes negative,
        // -63 exactly; wider and taller, -306.42 and -487.83 rounded down.
        {"letter", 600, 3, 4638, 6726, 231, -63, false},
        {"a4", 300, 2, 3092, 4484, -307, -488, false},
        // 11.60 in is on the sheet (11.69 in) but reaches into the margins.
        {"a4", 580, 3, 4638, 6726, 77, 28, false},
    };
    for (const placement_case &c : cases) {
        const paper_size *paper = find_paper(c.paper);
        ASSERT_NE(paper, nullptr);
        sheet_layout layout = compute_layout(*paper, c.dpi, c.dots);
        SCOPED_TRACE(std::string(c.paper) + " " + std::to_string(c.dpi) + " dpi " +
                     std::to_string(c.dots) + " dots");
        EXPECT_EQ(layout.image_width, c.width);
        EXPECT_EQ(layout.image_height, c.height);
        EXPECT_EQ(layout.left, c.left);
        EXPECT_EQ(layout.bottom, c.bottom);
        EXPECT_EQ(layout.fits, c.fits);
    }
}

TEST(SheetLayout, LargestFittingDots)
{
    const paper_size &a4 = *find_paper("a4");
    const paper_size &letter = *find_paper("letter");
    EXPECT_EQ(largest_fitting_dots(a4, 600), 3u);
    EXPECT_EQ(largest_fitting_dots(a4, 1200), 6u);
    EXPECT_EQ(largest_fitting_dots(letter, 600), 2u);
    EXPECT_EQ(largest_fitting_dots(letter, 1200), 5u);
    // 2242 x 11 / 2400 = 10.28 in still fits under letter's 10.61 in.
    EXPECT_EQ(largest_fitting_dots(letter, 2400), 11u);
    EXPECT_EQ(largest_fitting_dots(letter, 72), 0u);
    // Names as they are printed are taken too; other papers are not.
    EXPECT_EQ(find_paper("A4"), &a4);
    EXPECT_EQ(find_paper("Letter"), &letter);
    EXPECT_EQ(find_paper("legal"), nullptr);
    EXPECT_EQ(find_paper("a4 "), nullptr);
}

std::string misfit_message(const char *paper, uint32_t dpi, uint32_t dots)
{
    char *text = nullptr;
    size_t size = 0;
    FILE *stream = open_memstream(&text, &size);
    print_misfit(stream, *find_paper(paper), dpi, dots);
    fclose(stream);
    std::string message(text, size);
    free(text);
    return message;
}

TEST(SheetLayout, MisfitMessageSaysWhatFits)
{
    EXPECT_EQ(misfit_message("letter", 600, 3),
              "sheetprint: at 600 dpi with 3 dots per pixel the page is 7.73 x 11.21 in, but "
              "letter paper (8.50 x 11.00 in) leaves only 8.11 x 10.61 in inside margins of 5 mm\n"
              "sheetprint: on letter paper these fit: 300 dpi with 1 dot per pixel (5.15 x 7.47 "
              "in), 600 dpi with 2 dots per pixel (5.15 x 7.47 in), 1200 dpi with 5 dots per "
              "pixel (6.44 x 9.34 in), 2400 dpi with 11 dots per pixel (7.09 x 10.28 in)\n");
    // A resolution of the user's own comes first in the list.
    std::string message = misfit_message("a4", 720, 4);
    EXPECT_NE(message.find("the page is 8.59 x 12.46 in, but a4 paper (8.26 x 11.69 in) "
                           "leaves only 7.87 x 11.30 in"),
              std::string::npos)
        << message;
    EXPECT_NE(message.find("these fit: 720 dpi with 3 dots per pixel (6.44 x 9.34 in), 300 dpi"),
              std::string::npos)
        << message;
}

} // namespace
