// Turned scans: the turns of the image itself, the count of crosses along
// the first row under each way a page may lie, and the decision, which must
// find every turn of a drawn page whatever its data and turn nothing whose
// evidence is missing or contradicts itself.
#include "stage_internals.h"
#include "stderr_capture.h"
#include "synthetic_page.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

namespace {

// The picture a scanner makes of `t` lying turned by `quarters` quarter
// turns counter-clockwise: each turn takes the right column to the top row.
void lay_turned(test_page &t, int quarters)
{
    for (int q = 0; q < quarters; q++) {
        const uint32_t w = t.page.width, h = t.page.height;
        std::vector<uint8_t> turned((size_t)w * h);
        for (uint32_t y = 0; y < w; y++)
            for (uint32_t x = 0; x < h; x++)
                turned[(size_t)y * h + x] = t.image[(size_t)x * w + (w - 1 - y)];
        t.image = std::move(turned);
        t.page.width = h;
        t.page.height = w;
    }
    t.page.image = t.image.data();
    t.page.work = t.work.data();
}

// Page pixel (px, py) of a drawn page set to `value`.
void paint(test_page &t, uint32_t px, uint32_t py, uint8_t value)
{
    for (uint32_t dy = 0; dy < t.scale; dy++)
        for (uint32_t dx = 0; dx < t.scale; dx++)
            t.image[(size_t)(t.margin + py * t.scale + dy) * t.page.width + t.margin +
                    px * t.scale + dx] = value;
}

// A drawn page at one input pixel per page pixel, its levels as the corner
// search and the orientation read them, and its corners found.
std::unique_ptr<test_page> drawn_page(const std::vector<uint32_t> &words)
{
    auto t = draw_test_page(1, 9, words);
    t->page.fill_cutlevel = 128;
    EXPECT_EQ(search_corners(t->page), corner_found);
    return t;
}

// Every codeword of a page: all black (0xFFF encodes as 24 ones) or one
// word repeated.
std::vector<uint32_t> every_word(uint32_t word)
{
    return std::vector<uint32_t>(codewords_per_page, word);
}

// `t` laid turned, its corners found, and the turn the decision finds.
page_turn turn_found(test_page &t, int quarters)
{
    lay_turned(t, quarters);
    EXPECT_EQ(search_corners(t.page), corner_found);
    return find_page_turn(t.page);
}

TEST(TurnImage, QuarterAndHalfTurnsOfAnAsymmetricPicture)
{
    // 3 x 2:  1 2 3
    //         4 5 6
    const std::vector<uint8_t> picture = {1, 2, 3, 4, 5, 6};
    struct expected_turn {
        page_turn turn;
        uint32_t width, height;
        std::vector<uint8_t> pixels;
    } turns[] = {
        {turned_none, 3, 2, {1, 2, 3, 4, 5, 6}},
        // Lying turned by 90 degrees, the page is turned back clockwise.
        {turned_90, 2, 3, {4, 1, 5, 2, 6, 3}},
        {turned_180, 3, 2, {6, 5, 4, 3, 2, 1}},
        {turned_270, 2, 3, {3, 6, 2, 5, 1, 4}},
    };
    for (const expected_turn &e : turns) {
        auto t = make_test_page(3, 2);
        t->image = picture;
        t->page.image = t->image.data();
        uint8_t *const first = t->page.image, *const second = t->page.work;
        turn_image(t->page, e.turn);
        EXPECT_EQ(t->page.width, e.width) << e.turn;
        EXPECT_EQ(t->page.height, e.height) << e.turn;
        EXPECT_EQ(std::vector<uint8_t>(t->page.image, t->page.image + 6), e.pixels) << e.turn;
        // A quarter turn is written into the other buffer and the two swap.
        const bool quarter = e.turn == turned_90 || e.turn == turned_270;
        EXPECT_EQ(t->page.image, quarter ? second : first) << e.turn;
        EXPECT_EQ(t->page.work, quarter ? first : second) << e.turn;
    }
}

// Larger than a tile of the quarter turn, and not a multiple of it either
// way: turned by the scanner and back by the decoder, every pixel returns.
TEST(TurnImage, TurningBackUndoesTheScannersTurnAcrossTiles)
{
    for (int quarters = 1; quarters <= 3; quarters++) {
        auto t = make_test_page(131, 70);
        for (size_t i = 0; i < t->image.size(); i++)
            t->image[i] = (uint8_t)(i * 7 + i / 131);
        const std::vector<uint8_t> original = t->image;
        lay_turned(*t, quarters);
        turn_image(t->page, (page_turn)quarters);
        ASSERT_EQ(t->page.width, 131u) << quarters;
        ASSERT_EQ(t->page.height, 70u);
        EXPECT_TRUE(std::vector<uint8_t>(t->page.image, t->page.image + original.size()) ==
                    original)
            << quarters;
    }
}

// Upright, the first row lies along the top: 65 crosses.  Where a half turn
// would put it lies the label strip, black, with none.
TEST(FirstRowCrosses, AlongTheTopUprightAndNoneInTheLabelStrip)
{
    auto t = drawn_page({0x5A3, 0x0F0, 0xC01});
    EXPECT_EQ(first_row_crosses(t->page, turned_none), cross_cols);
    EXPECT_EQ(first_row_crosses(t->page, turned_180), 0u);

    lay_turned(*t, 2);
    ASSERT_EQ(search_corners(t->page), corner_found);
    EXPECT_EQ(first_row_crosses(t->page, turned_none), 0u);
    EXPECT_EQ(first_row_crosses(t->page, turned_180), cross_cols);
}

TEST(FindPageTurn, EveryTurnOfAPageWhateverItsData)
{
    const std::vector<uint32_t> data[] = {{}, every_word(0xFFF), every_word(0x9C6)};
    ASSERT_EQ(golay_encode(0xFFF), 0xFFFFFFu);
    for (const std::vector<uint32_t> &words : data)
        for (int quarters = 0; quarters <= 3; quarters++) {
            auto t = drawn_page(words);
            EXPECT_EQ(turn_found(*t, quarters), (page_turn)quarters)
                << quarters << " quarter turns, " << words.size() << " words";
        }
}

// The stage turns the scan back, says so in one line and finds the corners
// again: image and corners are the upright page's.  Upright, it prints
// nothing and changes nothing.
TEST(TurnPageUpright, GivesTheUprightImageAndCorners)
{
    const char *const lines[] = {"", "Scan is turned by 90 degrees; reading it the right way up.\n",
                                 "Scan is turned by 180 degrees; reading it the right way up.\n",
                                 "Scan is turned by 270 degrees; reading it the right way up.\n"};
    auto upright = drawn_page({0x123, 0x456});
    for (int quarters = 0; quarters <= 3; quarters++) {
        auto t = drawn_page({0x123, 0x456});
        lay_turned(*t, quarters);
        ASSERT_EQ(search_corners(t->page), corner_found);
        corner_id missing = upper_left_corner;
        EXPECT_EQ(capture_stderr([&] { missing = turn_page_upright(t->page); }), lines[quarters]);
        EXPECT_EQ(missing, corner_found);
        ASSERT_EQ(t->page.width, upright->page.width) << quarters;
        ASSERT_EQ(t->page.height, upright->page.height) << quarters;
        EXPECT_TRUE(std::vector<uint8_t>(t->page.image, t->page.image + upright->image.size()) ==
                    upright->image)
            << quarters;
        const page_corners &c = t->page.corners, &u = upright->page.corners;
        const point_u64 found[4] = {c.upper_left, c.upper_right, c.lower_left, c.lower_right};
        const point_u64 wanted[4] = {u.upper_left, u.upper_right, u.lower_left, u.lower_right};
        for (int k = 0; k < 4; k++) {
            EXPECT_EQ(found[k].x, wanted[k].x) << quarters << " corner " << k;
            EXPECT_EQ(found[k].y, wanted[k].y) << quarters << " corner " << k;
        }
    }
}

// A row of crosses drawn into the label strip, 5 page pixels above the
// bottom edge: the first row as a half turn would show it.
void draw_crosses_in_label(test_page &t)
{
    const uint32_t cy = page_height - (border_width + chalf);
    for (uint32_t i = 0; i < cross_cols; i++) {
        const uint32_t cx = border_width + chalf + i * cross_pitch;
        for (uint32_t dy = 0; dy < 2 * chalf; dy++)
            for (uint32_t dx = 0; dx < 2 * chalf; dx++) {
                const bool black = (dx < chalf) == (dy < chalf);
                paint(t, cx - chalf + dx, cy - chalf + dy, black ? 0 : 255);
            }
    }
}

// Without the evidence for a turn, or with evidence both ways, nothing is
// turned: a damaged upright page must stay exactly as it is.
TEST(FindPageTurn, NothingIsTurnedOnMissingOrContradictoryEvidence)
{
    // The first row scraped off: no crosses along the top, none in the label.
    auto scraped = drawn_page({0x321});
    for (uint32_t py = border_width; py < border_width + 2 * chalf; py++)
        for (uint32_t px = border_width; px < page_width - border_width; px++)
            paint(*scraped, px, py, 255);
    EXPECT_EQ(first_row_crosses(scraped->page, turned_none), 0u);
    EXPECT_EQ(find_page_turn(scraped->page), turned_none);

    // The label strip wiped white, or covered with a row of crosses.
    auto wiped = drawn_page({0x321});
    for (uint32_t py = label_top; py < label_top + text_height; py++)
        for (uint32_t px = border_width; px < page_width - border_width; px++)
            paint(*wiped, px, py, 255);
    EXPECT_EQ(find_page_turn(wiped->page), turned_none);
    auto both = drawn_page({0x321});
    draw_crosses_in_label(*both);
    EXPECT_EQ(first_row_crosses(both->page, turned_180), cross_cols);
    EXPECT_EQ(find_page_turn(both->page), turned_none);

    // Lying across, with crosses along both long sides; and an empty frame
    // lying across.
    EXPECT_EQ(turn_found(*both, 1), turned_none);
    auto frame = make_test_page(300, 200);
    for (uint32_t y = 20; y < 180; y++)
        for (uint32_t x = 30; x < 270; x++)
            frame->image[(size_t)y * 300 + x] = x < 32 || x >= 268 || y < 22 || y >= 178 ? 0 : 255;
    frame->page.fill_cutlevel = 128;
    ASSERT_EQ(search_corners(frame->page), corner_found);
    EXPECT_EQ(find_page_turn(frame->page), turned_none);
}

// A page lying across, with a row of crosses also painted along the top
// where the first row of an upright page stretched over the frame would
// lie: whichever way the crosses point, the upright reading forbids the turn.
TEST(FindPageTurn, AQuarterTurnNeedsTheUprightRowToBeMissing)
{
    auto t = drawn_page({0x0F3});
    lay_turned(*t, 1);
    ASSERT_EQ(search_corners(t->page), corner_found);
    ASSERT_EQ(find_page_turn(t->page), turned_90);
    // Input pixels per page pixel of an upright page on this frame.
    const double sx = (double)page_height / page_width, sy = (double)page_width / page_height;
    const double m = t->margin, cy = m + (border_width + chalf) * sy;
    for (uint32_t i = 0; i < cross_cols; i++) {
        const double cx = m + (border_width + chalf + i * cross_pitch) * sx;
        for (uint32_t y = (uint32_t)(cy - chalf * sy); y <= (uint32_t)(cy + chalf * sy); y++)
            for (uint32_t x = (uint32_t)(cx - chalf * sx); x <= (uint32_t)(cx + chalf * sx); x++) {
                const double dx = (x + 0.5 - cx) / sx, dy = (y + 0.5 - cy) / sy;
                if (fabs(dx) < chalf && fabs(dy) < chalf && y > m)
                    t->image[(size_t)y * t->page.width + x] = (dx < 0) == (dy < 0) ? 0 : 255;
            }
    }
    // The painting covers a cross of the turned page's first row too.
    EXPECT_GT(first_row_crosses(t->page, turned_none), cross_cols / 2);
    EXPECT_GE(first_row_crosses(t->page, turned_90), cross_cols - 1);
    EXPECT_EQ(find_page_turn(t->page), turned_none);
}

// A wiped label does not hide a half turn: the crosses along the bottom
// still show it, and the top shows none.
TEST(FindPageTurn, AHalfTurnWithItsLabelWipedIsStillFound)
{
    auto t = drawn_page({0x777});
    for (uint32_t py = label_top; py < label_top + text_height; py++)
        for (uint32_t px = border_width; px < page_width - border_width; px++)
            paint(*t, px, py, 255);
    EXPECT_EQ(turn_found(*t, 2), turned_180);
}

} // namespace
