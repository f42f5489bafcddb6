// The empty page: frame, crosses, label geometry and the label line, with
// the label read back cell by cell against the font.
#include "encoder_fixture.h"
#include "label_art.h"
#include "page_check.h"

#include <vector>

namespace {

struct page_template : encoder_fixture {
    uint8_t px(uint32_t x, uint32_t y) const { return page_pixel(run.page_buffer, x, y); }

    // True when every page pixel of the rectangle has `value`.
    bool all_of(uint32_t x0, uint32_t y0, uint32_t x1, uint32_t y1, uint8_t value) const
    {
        for (uint32_t y = y0; y <= y1; y++)
            for (uint32_t x = x0; x <= x1; x++)
                if (px(x, y) != value)
                    return false;
        return true;
    }

    // The label cell at page x equals label_art columns art_x .. art_x + 12.
    bool cell_is_art(uint32_t page_x, uint32_t art_x) const
    {
        for (uint32_t r = 0; r < 24; r++)
            for (uint32_t c = 0; c < 13; c++)
                if (px(page_x + c, 2216 + r) != (label_art[r * 1500 + art_x + c] ? 255 : 0))
                    return false;
        return true;
    }
};

TEST_F(page_template, FrameAndLabelStripAreBlack)
{
    EXPECT_TRUE(all_of(0, 0, 1545, 1, 0));
    EXPECT_TRUE(all_of(0, 2240, 1545, 2241, 0));
    EXPECT_TRUE(all_of(0, 2, 1, 2239, 0));
    EXPECT_TRUE(all_of(1544, 2, 1545, 2239, 0));
    // Right of the text "  0-65-93-24-3-1-2-24 1/1 " (cells up to x 604).
    EXPECT_TRUE(all_of(605, 2216, 1543, 2239, 0));
    EXPECT_TRUE(all_of(267, 2216, 292, 2239, 0)) << "two leading spaces";
    EXPECT_FALSE(all_of(293, 2216, 305, 2239, 0)) << "the 0 after them";
}

TEST_F(page_template, DataAreaHoldsOnlyCrosses)
{
    uint32_t black = 0;
    for (uint32_t y = 0; y < 2214; y++)
        for (uint32_t x = 0; x < 1542; x++) {
            uint32_t u = x % 24, v = y % 24;
            uint8_t expected = 255;
            if (u < 6 && v < 6 && (u < 3) == (v < 3))
                expected = 0;
            ASSERT_EQ(px(x + 2, y + 2), expected) << "data pixel " << x << "," << y;
            black += expected == 0;
        }
    EXPECT_EQ(black, 6045u * 18);
}

TEST_F(page_template, CornerCrosses)
{
    const char *const cross[6] = {"###...", "###...", "###...", "...###", "...###", "...###"};
    const uint32_t corners[4][2] = {{2, 2}, {1538, 2}, {2, 2210}, {1538, 2210}};
    for (const auto &corner : corners)
        for (uint32_t v = 0; v < 6; v++)
            for (uint32_t u = 0; u < 6; u++)
                EXPECT_EQ(px(corner[0] + u, corner[1] + v), cross[v][u] == '#' ? 0 : 255)
                    << "cross at " << corner[0] << "," << corner[1];
    // The bottom crosses end on the data area's last row; the strip follows.
    EXPECT_EQ(px(1543, 2215), 0);
    EXPECT_EQ(px(1544, 2215), 0) << "frame";
    EXPECT_EQ(px(1537, 2215), 255);
}

TEST_F(page_template, EmblemAndText)
{
    EXPECT_STREQ(run.label_text, "  0-65-93-24-3-1-2-24 1/1 ");
    for (uint32_t r = 0; r < 24; r++)
        for (uint32_t c = 0; c < 265; c++)
            ASSERT_EQ(px(2 + c, 2216 + r), label_art[r * 1500 + 1235 + c] ? 255 : 0)
                << "emblem pixel " << c << "," << r;
    EXPECT_EQ(read_label(run.page_buffer), label_cells("  0-65-93-24-3-1-2-24 1/1 "));
    start(345, "doc");
    run.page_number = 12;
    format_page(run);
    EXPECT_STREQ(run.label_text, "  0-65-93-24-3-1-2-24 12/345 doc");
    EXPECT_EQ(read_label(run.page_buffer), label_cells("  0-65-93-24-3-1-2-24 12/345 doc"));
}

// A later page reuses the page just written: with its bits drawn it must be
// the page a fresh template would give, although the old label was longer
// and the old bits were everywhere.
TEST_F(page_template, RelabelledPageEqualsAFreshOne)
{
    start(9999, "a long name");
    run.page_number = 1234;
    format_page(run);
    for (run.codeword_index = 0; run.codeword_index < codewords_per_page; run.codeword_index++)
        place_codeword(run, 0xFFFFFF - run.codeword_index);
    render_page(run);

    run.page_number = 7;
    run.page_count = 9;
    relabel_page(run);
    clear_page_codewords(run);
    run.codeword_index = 3;
    place_codeword(run, 0xABCA13);
    render_page(run);
    std::vector<uint8_t> relabelled(run.page_buffer, run.page_buffer + page_pixels);
    EXPECT_EQ(read_label(run.page_buffer), label_cells("  0-65-93-24-3-1-2-24 7/9 a long name"));

    format_page(run);
    render_page(run);
    EXPECT_TRUE(relabelled == std::vector<uint8_t>(run.page_buffer, run.page_buffer + page_pixels));
}

TEST_F(page_template, LongNameIsCut)
{
    std::string long_name;
    for (int i = 0; i < 200; i++)
        long_name += (char)('A' + i % 26);
    start(1, long_name);
    std::string line = "  0-65-93-24-3-1-2-24 1/1 " + long_name;
    EXPECT_EQ(std::string(run.label_text), line.substr(0, 117));
    // 98 cells drawn, the last at page x 1528..1540 holding long_name[71].
    EXPECT_EQ(read_label(run.page_buffer), line.substr(0, 98));
    EXPECT_EQ(line[97], long_name[71]);
    EXPECT_TRUE(cell_is_art(1528, (uint32_t)(long_name[71] - 32) * 13));
    EXPECT_TRUE(all_of(1541, 2216, 1543, 2239, 0));
}

// label_shown_name is what the warnings quote, so it must be what the
// strip holds on every page, whatever the width of "page/count".
TEST_F(page_template, ShownNameIsWhatTheStripHolds)
{
    std::string long_name;
    for (int i = 0; i < 90; i++)
        long_name += (char)('a' + i % 26);
    struct {
        uint32_t page, count;
        std::string name;
        size_t shown;
    } cases[] = {
        {1, 1, long_name, 72},   {1, 0, long_name, 72},        {9, 12, long_name, 71},
        {12, 12, long_name, 70}, {1, 9999, long_name, 69},     {9999, 9999, long_name, 66},
        {1, 1, "short", 5},      {1, 1, "M\xC3\xBCller\t", 5},
    };
    for (const auto &c : cases) {
        start(c.count, c.name);
        run.page_number = c.page;
        relabel_page(run);
        char shown[label_text_size];
        label_shown_name(c.page, c.count, c.name.c_str(), shown);
        EXPECT_EQ(strlen(shown), c.shown) << c.page << "/" << c.count;
        std::string line = "  0-65-93-24-3-1-2-24 " + std::to_string(c.page) + "/" +
                           std::to_string(c.count) + " " + shown;
        EXPECT_EQ(read_label(run.page_buffer), label_cells(line)) << c.page << "/" << c.count;
    }
}

TEST_F(page_template, ControlAndNonAsciiBytesAreSkipped)
{
    start(1, "a\tb\xC3\xA9"
             "c\n");
    EXPECT_EQ(read_label(run.page_buffer), label_cells("  0-65-93-24-3-1-2-24 1/1 abc"));
    // Byte 127 takes the first 13 columns of the emblem and advances.
    start(1, "x\x7Fy");
    uint32_t x127 = 267 + 13 * 27;
    EXPECT_TRUE(cell_is_art(x127, 1235));
    EXPECT_TRUE(cell_is_art(x127 + 13, ('y' - 32) * 13));
}

TEST(label_art, FontCellsAndPalette)
{
    EXPECT_EQ(label_palette[0].red, 0);
    EXPECT_EQ(label_palette[0].green, 0);
    EXPECT_EQ(label_palette[0].blue, 0);
    for (int i = 1; i < 256; i++)
        EXPECT_EQ(label_palette[i].red + label_palette[i].green + label_palette[i].blue, 765);
    for (uint8_t index : label_art)
        ASSERT_LE(index, 1);
    // The space is black; every other character has white strokes, and no
    // two characters look alike.
    std::vector<std::string> cells;
    for (uint32_t ch = 0; ch < 95; ch++) {
        std::string cell;
        for (uint32_t r = 0; r < 24; r++)
            for (uint32_t c = 0; c < 13; c++)
                cell += (char)('0' + label_art[r * 1500 + ch * 13 + c]);
        EXPECT_EQ(cell.find('1') == std::string::npos, ch == 0) << "character " << ch + 32;
        for (size_t other = 0; other < cells.size(); other++)
            EXPECT_NE(cell, cells[other]) << (char)(ch + 32) << " and " << (char)(other + 32);
        cells.push_back(cell);
    }
}

} // namespace
