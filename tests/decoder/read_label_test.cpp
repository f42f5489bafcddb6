// read_label's steps on their own: the matching of a cell against the
// font's pictures, the fields of a label's text and the line the driver
// prints, and the stage on ideal synthetic pages, where a label one page
// pixel off its place or without its emblem must not be read.  Scans of
// real pages are in label_scan_test.cpp.
#include "label_art.h"
#include "stage_internals.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

// -- one cell against the pictures --

label_cell picture_of(char ch)
{
    label_cell cell{};
    for (uint32_t r = 0; r < text_height; r++)
        for (uint32_t c = 0; c < glyph_width; c++)
            if (label_art[r * label_art_width + (uint32_t)(ch - first_glyph) * glyph_width + c])
                set_cell_white(cell, c, r);
    return cell;
}

bool cell_white(const label_cell &cell, uint32_t c, uint32_t r)
{
    label_cell one{};
    set_cell_white(one, c, r);
    for (uint32_t w = 0; w < cell_words; w++)
        if (one.words[w] & cell.words[w])
            return true;
    return false;
}

void flip(label_cell &cell, uint32_t c, uint32_t r)
{
    label_cell one{};
    set_cell_white(one, c, r);
    for (uint32_t w = 0; w < cell_words; w++)
        cell.words[w] ^= one.words[w];
}

TEST(LabelCell, EveryPictureIsItsOwnNearestAndTheClosestPairsAreFivePixelsApart)
{
    label_glyph_cells glyphs;
    pack_glyphs(glyphs);
    uint32_t closest = UINT32_MAX;
    for (char ch = 32; ch <= 126; ch++) {
        const label_cell_match m = match_label_cell(glyphs, picture_of(ch));
        EXPECT_EQ(m.character, ch);
        EXPECT_EQ(m.distance, 0u) << ch;
        closest = m.gap < closest ? m.gap : closest;
    }
    EXPECT_EQ(closest, 5u);
    EXPECT_EQ(match_label_cell(glyphs, picture_of(',')).gap, 5u);
    EXPECT_EQ(match_label_cell(glyphs, picture_of(';')).gap, 5u);
    EXPECT_EQ(match_label_cell(glyphs, picture_of('l')).gap, 6u);
}

TEST(LabelCell, EveryPixelOfACellCountsOnce)
{
    // Against pictures that are all 'R', flipping the pixels of an 'R' one
    // by one moves the distance by one each time: every one of the 312
    // pixels has a bit of its own.
    label_glyph_cells only_r;
    for (label_cell &cell : only_r.cells)
        cell = picture_of('R');
    label_cell cell = picture_of('R');
    uint32_t flipped = 0;
    for (uint32_t r = 0; r < text_height; r++)
        for (uint32_t c = 0; c < glyph_width; c++) {
            flip(cell, c, r);
            flipped++;
            ASSERT_EQ(match_label_cell(only_r, cell).distance, flipped) << c << ", " << r;
        }
    EXPECT_EQ(match_label_cell(only_r, cell).gap, 0u);
}

TEST(LabelCell, WhatLiesBetweenTwoPicturesIsNearestToNeither)
{
    label_glyph_cells glyphs;
    pack_glyphs(glyphs);
    // '.' with the comma's tail half drawn: two pixels from one picture,
    // three from the other, a lead far below what a clear cell needs.
    label_cell cell = picture_of('.');
    const label_cell comma = picture_of(',');
    uint32_t added = 0;
    for (uint32_t r = 0; r < text_height && added < 2; r++)
        for (uint32_t c = 0; c < glyph_width && added < 2; c++)
            if (cell_white(comma, c, r) && !cell_white(cell, c, r)) {
                flip(cell, c, r);
                added++;
            }
    const label_cell_match m = match_label_cell(glyphs, cell);
    EXPECT_EQ(m.character, '.');
    EXPECT_EQ(m.distance, 2u);
    EXPECT_EQ(m.gap, 1u);
    // One pixel off 'W' leaves it far ahead of every other picture.
    label_cell w = picture_of('W');
    flip(w, 6, 12);
    const label_cell_match mw = match_label_cell(glyphs, w);
    EXPECT_EQ(mw.character, 'W');
    EXPECT_EQ(mw.distance, 1u);
    EXPECT_GE(mw.gap, 4u);
}

// -- the fields and the line --

struct text_case {
    const char *text;
    bool parsed;
    const char *format;
    uint32_t number, count;
    const char *name;
};

TEST(LabelText, TheFieldsOfTheLabelAreParsedOnlyFromItsForm)
{
    const text_case cases[] = {
        {"0-65-93-24-3-1-2-24 2/3 backup", true, "0-65-93-24-3-1-2-24", 2, 3, "backup"},
        {"0-65-93-24-3-1-2-24 1/1", true, "0-65-93-24-3-1-2-24", 1, 1, ""},
        {"0-65-93-24-3-1-2-24 12/345 my files 6/7", true, "0-65-93-24-3-1-2-24", 12, 345,
         "my files 6/7"},
        {"0-65-93-24-3-1-2-24 4294967295/0 x", true, "0-65-93-24-3-1-2-24", 4294967295u, 0, "x"},
        {"1-2 7/9  two blanks first", true, "1-2", 7, 9, " two blanks first"},
        {"0-65-93-24-3-1-2-24 4294967296/1 x", false, "", 0, 0, ""},
        {"0-65-93-24-3-1-2-24 2/3x", false, "", 0, 0, ""},
        {"0-65-93-24-3-1-2-24 /3 a", false, "", 0, 0, ""},
        {"0-65-93-24-3-1-2-24 2/ a", false, "", 0, 0, ""},
        {"0-65-93-24-3-1-2-24 2-3 a", false, "", 0, 0, ""},
        {"0-65-93-24-3-1-2-24 +2/3 a", false, "", 0, 0, ""},
        {"0-65-93-24-3-1-2-24", false, "", 0, 0, ""},
        {" 2/3 a", false, "", 0, 0, ""},
        {"", false, "", 0, 0, ""},
    };
    for (const text_case &c : cases) {
        SCOPED_TRACE(c.text);
        page_label label{};
        label.read = true;
        strcpy(label.text, c.text);
        // Leftovers of an earlier page must not survive a failed parse.
        strcpy(label.format, "old");
        strcpy(label.name, "old");
        label.page_number = label.page_count = 99;
        EXPECT_EQ(parse_label_text(label), c.parsed);
        EXPECT_EQ(label.parsed, c.parsed);
        EXPECT_STREQ(label.format, c.format);
        EXPECT_EQ(label.page_number, c.number);
        EXPECT_EQ(label.page_count, c.count);
        EXPECT_STREQ(label.name, c.name);
        EXPECT_STREQ(label.text, c.text);
    }
}

std::string line_of(const page_label &label)
{
    char line[label_line_size];
    memset(line, 'x', sizeof line);
    label_line_text(label, line);
    return line;
}

TEST(LabelLine, TheTextInQuotesOrTheNoteOfAnUnreadableLabel)
{
    page_label label{};
    strcpy(label.text, "0-65-93-24-3-1-2-24 2/3 backup");
    EXPECT_EQ(line_of(label), "unreadable");
    label.read = true;
    EXPECT_EQ(line_of(label), "\"0-65-93-24-3-1-2-24 2/3 backup\"");
    strcpy(label.text, "0-65-93-24-3-1-2-24 1/1 say \"hi\" \\o/");
    EXPECT_EQ(line_of(label), "\"0-65-93-24-3-1-2-24 1/1 say \\\"hi\\\" \\\\o/\"");
    // The longest text there can be, all of it escaped, fits the line.
    memset(label.text, '"', label_cells - 2);
    label.text[label_cells - 2] = '\0';
    const std::string line = line_of(label);
    EXPECT_EQ(line.size(), 2 * (size_t)(label_cells - 2) + 2);
    EXPECT_LT(line.size(), label_line_size);
}

// -- the stage on ideal pages --

constexpr uint32_t scale = 3, margin = 12;

// Page pixel (px, py) of a synthetic page set to `value`.
void fill(test_page &t, uint32_t px, uint32_t py, uint8_t value)
{
    for (uint32_t dy = 0; dy < t.scale; dy++)
        for (uint32_t dx = 0; dx < t.scale; dx++)
            t.image[(size_t)(t.margin + py * t.scale + dy) * t.page.width + t.margin +
                    px * t.scale + dx] = value;
}

// The emblem (unless left out) and the cells of `cells` drawn from the
// label pictures into the black strip, `down` page pixels below their place.
void draw_label(test_page &t, const std::string &cells, bool emblem, uint32_t down)
{
    for (uint32_t r = 0; r < text_height; r++) {
        for (uint32_t x = 0; emblem && x < emblem_width; x++)
            if (label_art[r * label_art_width + emblem_x + x])
                fill(t, border_width + x, label_top + down + r, 255);
        for (uint32_t k = 0; k < cells.size(); k++)
            for (uint32_t c = 0; c < glyph_width; c++) {
                const uint32_t art = (uint32_t)(cells[k] - first_glyph) * glyph_width + c;
                if (label_art[r * label_art_width + art])
                    fill(t, border_width + emblem_width + k * glyph_width + c, label_top + down + r,
                         255);
            }
    }
}

std::unique_ptr<test_page> labelled_page(const std::string &cells, bool emblem, uint32_t down)
{
    auto t = draw_test_page(scale, margin, {0x5a3, 0x0ff, 0xc01});
    set_exact_crosses(*t);
    draw_label(*t, cells, emblem, down);
    return t;
}

TEST(ReadLabel, AnIdealLabelIsReadExactlyAndNothingElseIsWritten)
{
    auto t = labelled_page("  0-65-93-24-3-1-2-24 3/8 Zq_{x}  ", true, 0);
    const std::vector<uint8_t> image = t->image, work = t->work;
    read_label(t->page);
    const page_label &l = t->page.label;
    EXPECT_TRUE(l.read);
    EXPECT_STREQ(l.text, "0-65-93-24-3-1-2-24 3/8 Zq_{x}");
    EXPECT_TRUE(l.parsed);
    EXPECT_STREQ(l.format, "0-65-93-24-3-1-2-24");
    EXPECT_EQ(l.page_number, 3u);
    EXPECT_EQ(l.page_count, 8u);
    EXPECT_STREQ(l.name, "Zq_{x}");
    EXPECT_EQ(l.emblem_distance, 0u);
    EXPECT_EQ(l.worst_distance, 0u);
    EXPECT_TRUE(t->image == image) << "read_label changed the image";
    EXPECT_TRUE(t->work == work) << "read_label drew into the debug canvas";
}

TEST(ReadLabel, EveryCellOfTheStripIsRead)
{
    // 98 cells: the last one holds the name's last character.
    std::string cells = "  0-65-93-24-3-1-2-24 1/2 ";
    for (char ch = 'a'; cells.size() < label_cells - 1; ch = ch == 'z' ? 'a' : (char)(ch + 1))
        cells += ch;
    cells += '#';
    ASSERT_EQ(cells.size(), label_cells);
    auto t = labelled_page(cells, true, 0);
    read_label(t->page);
    EXPECT_TRUE(t->page.label.read);
    EXPECT_EQ(std::string(t->page.label.text), cells.substr(2));
}

TEST(ReadLabel, ALabelOnePixelOffItsPlaceIsUnreadable)
{
    auto t = labelled_page("  0-65-93-24-3-1-2-24 3/8 name", true, 1);
    read_label(t->page);
    EXPECT_FALSE(t->page.label.read);
    EXPECT_STREQ(t->page.label.text, "");
    EXPECT_GT(t->page.label.emblem_distance, 100u);
}

TEST(ReadLabel, ALabelWithoutItsEmblemOrItsLeadingBlanksIsUnreadable)
{
    auto t = labelled_page("  0-65-93-24-3-1-2-24 3/8 name", false, 0);
    read_label(t->page);
    EXPECT_FALSE(t->page.label.read);
    EXPECT_EQ(t->page.label.worst_distance, 0u); // every cell was clear
    auto u = labelled_page("x 0-65-93-24-3-1-2-24 3/8 name", true, 0);
    read_label(u->page);
    EXPECT_FALSE(u->page.label.read);
    EXPECT_FALSE(u->page.label.parsed);
}

} // namespace
