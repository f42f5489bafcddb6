// read_label on pages made by paprel's own stages and scanned by paperscan's
// model: every channel the bits survive must give the exact label, every
// printable character must come back as itself, and a label that is
// damaged, overwritten or not paprel's must come out unreadable, never with
// a wrong character.
#include "label_scan.h"

#include "label_art.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <ostream>
#include <random>
#include <string>

namespace {

// The label's first text cell, in page pixels.
constexpr uint32_t text_left = border_width + emblem_width;

struct channel_case {
    const char *name;
    double scale, rotate, blur, noise, dust, illumination;
    double perspective = 0, aspect = 1, dust_size = 2.5;
    uint64_t seed = 1;
};

void PrintTo(const channel_case &c, std::ostream *os)
{
    *os << c.name;
}

// paperscan's defaults are scale 3, blur 0.3, noise 0.01, dust 0.2 and
// illumination 0.05.  The limits are those of the README's table: blur 0.5
// and noise 0.08 on top of the default scan are the most that still decode.
const channel_case channels[] = {
    {"Ideal", 3, 0, 0, 0, 0, 0},
    {"Default", 3, 0, 0.3, 0.01, 0.2, 0.05},
    {"BlurredAtTheLimit", 3, 0, 0.5, 0.01, 0.2, 0.05},
    {"SharpAndNoisy", 3, 0, 0, 0.03, 0, 0},
    {"SkewedOneAndAHalfDegrees", 3, 1.5, 0.3, 0.01, 0.2, 0.05},
    {"SkewedTwoDegreesTheOtherWay", 3, -2, 0.3, 0.01, 0.2, 0.05},
    {"SkewedTwelveDegrees", 3, 12, 0.3, 0.01, 0.2, 0.05},
    {"KeystoneAndAspect", 3, 1, 0.3, 0.01, 0.2, 0.05, 0.003, 1.004},
    {"Dusty", 3, 0, 0.3, 0.01, 20, 0.05, 0, 1, 2.5, 2},
    {"DustyWithLargeSpecks", 3, 0, 0.3, 0.01, 5, 0.05, 0, 1, 5, 3},
    {"NoisyAtTheLimit", 3, 0, 0.3, 0.08, 0.2, 0.05, 0, 1, 2.5, 4},
    {"NoiseAndUnevenLight", 3, 0, 0.3, 0.05, 0.2, 0.3},
    {"Scale2point4BlurredSkewedNoisy", 2.4, -1.5, 0.5, 0.03, 0.2, 0.05},
    {"Scale2point7", 2.7, 0.5, 0.3, 0.02, 0.2, 0.05},
    {"Scale3point3", 3.3, -0.7, 0.3, 0.02, 0.2, 0.05},
    {"Scale4BlurredSkewed", 4, 2, 0.5, 0.02, 0.2, 0.05},
};

const channel_case &channel_named(const char *name)
{
    for (const channel_case &c : channels)
        if (strcmp(c.name, name) == 0)
            return c;
    ADD_FAILURE() << "no channel " << name;
    return channels[0];
}

scan_options options_of(const channel_case &c)
{
    scan_options o;
    o.scale = c.scale;
    o.rotate = c.rotate;
    o.blur = c.blur;
    o.noise = c.noise;
    o.dust = c.dust;
    o.dust_size = c.dust_size;
    o.illumination = c.illumination;
    o.perspective = c.perspective;
    o.aspect = c.aspect;
    o.seed = c.seed;
    return o;
}

void expect_label(const page_label &l, const char *text, uint32_t number, uint32_t count,
                  const char *name)
{
    EXPECT_TRUE(l.read) << "emblem " << l.emblem_distance << ", worst cell " << l.worst_distance
                        << ", smallest gap " << l.smallest_gap;
    EXPECT_STREQ(l.text, text);
    EXPECT_TRUE(l.parsed);
    EXPECT_STREQ(l.format, "0-65-93-24-3-1-2-24");
    EXPECT_EQ(l.page_number, number);
    EXPECT_EQ(l.page_count, count);
    EXPECT_STREQ(l.name, name);
}

class LabelChannel : public ::testing::TestWithParam<channel_case> {};

TEST_P(LabelChannel, ReadsTheExactLabel)
{
    const channel_case &c = GetParam();
    const std::vector<uint8_t> page = paprel_page(7, 12, "tax-2023_Q4.tar.xz", 11);
    auto scan = std::make_unique<scanned_label>();
    ASSERT_TRUE(scan_label_strip(page, options_of(c), *scan));
    const page_label &l = scan->page.label;
    expect_label(l, "0-65-93-24-3-1-2-24 7/12 tax-2023_Q4.tar.xz", 7, 12, "tax-2023_Q4.tar.xz");
    // Without noise or dust every pixel reads as drawn.
    if (c.noise == 0 && c.dust == 0) {
        EXPECT_EQ(l.emblem_distance, 0u);
        EXPECT_EQ(l.worst_distance, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Scans, LabelChannel, ::testing::ValuesIn(channels),
                         [](const ::testing::TestParamInfo<channel_case> &tested) {
                             return std::string(tested.param.name);
                         });

// The 95 printable characters over three names, each on its own page and
// scan; the space sits inside a name, where it is not trimmed.
TEST(LabelCharacters, EveryPrintableCharacterComesBackAsItself)
{
    std::string all;
    for (char ch = 126; ch >= 33; ch--) // backwards: not the order of the pictures
        all += ch;
    const std::string names[3] = {all.substr(0, 31) + " x", all.substr(31, 31), all.substr(62)};
    const channel_case &channel = channel_named("SkewedTwoDegreesTheOtherWay");
    for (uint32_t p = 0; p < 3; p++) {
        SCOPED_TRACE(names[p]);
        const std::vector<uint8_t> page = paprel_page(p + 1, 3, names[p].c_str(), 20 + p);
        auto scan = std::make_unique<scanned_label>();
        scan_options o = options_of(channel);
        o.seed = 30 + p;
        ASSERT_TRUE(scan_label_strip(page, o, *scan));
        const std::string text = "0-65-93-24-3-1-2-24 " + std::to_string(p + 1) + "/3 " + names[p];
        expect_label(scan->page.label, text.c_str(), p + 1, 3, names[p].c_str());
    }
}

TEST(LabelNames, ALongNameIsCutWhereTheCellsEnd)
{
    std::string name;
    for (int i = 0; name.size() < 110; i++)
        name += "part" + std::to_string(i) + "_";
    const std::vector<uint8_t> page = paprel_page(3, 4, name.c_str(), 8);
    auto scan = std::make_unique<scanned_label>();
    ASSERT_TRUE(scan_label_strip(page, options_of(channel_named("Default")), *scan));
    // 98 cells: two blanks, 24 of "0-65-93-24-3-1-2-24 3/4 ", 72 of the name.
    const std::string shown = name.substr(0, label_cells - 2 - 24);
    const std::string text = "0-65-93-24-3-1-2-24 3/4 " + shown;
    expect_label(scan->page.label, text.c_str(), 3, 4, shown.c_str());
}

TEST(LabelNames, AnEmptyNameIsLegal)
{
    const std::vector<uint8_t> page = paprel_page(1, 1, "", 9);
    auto scan = std::make_unique<scanned_label>();
    ASSERT_TRUE(
        scan_label_strip(page, options_of(channel_named("SkewedOneAndAHalfDegrees")), *scan));
    expect_label(scan->page.label, "0-65-93-24-3-1-2-24 1/1", 1, 1, "");
}

// -- damaged on purpose --

uint8_t &page_pixel(std::vector<uint8_t> &page, uint32_t x, uint32_t y)
{
    return page[(size_t)y * page_width + x];
}

// A dark blot of toner, round, over label pixels around (cx, cy).
void blot(std::vector<uint8_t> &page, double cx, double cy, double radius)
{
    for (uint32_t y = label_top; y < label_top + text_height; y++)
        for (uint32_t x = border_width; x < border_width + data_width; x++)
            if (hypot(x + 0.5 - cx, y + 0.5 - cy) < radius)
                page_pixel(page, x, y) = 0;
}

// The pictures of `text` drawn over the label from page x `left` on, their
// white added to what is there.
void overprint(std::vector<uint8_t> &page, uint32_t left, const char *text)
{
    for (uint32_t i = 0; text[i] != '\0'; i++)
        for (uint32_t r = 0; r < text_height; r++)
            for (uint32_t c = 0; c < glyph_width; c++) {
                const uint32_t x = left + i * glyph_width + c;
                const uint32_t art = (uint32_t)(text[i] - first_glyph) * glyph_width + c;
                if (x < border_width + data_width && label_art[r * label_art_width + art] != 0)
                    page_pixel(page, x, label_top + r) = 255;
            }
}

void expect_unreadable(const std::vector<uint8_t> &page, uint64_t seed,
                       const sheet_edit &edit = nullptr)
{
    scan_options o = options_of(channel_named("Default"));
    o.seed = seed;
    auto scan = std::make_unique<scanned_label>();
    ASSERT_TRUE(scan_label_strip(page, o, *scan, edit));
    const page_label &l = scan->page.label;
    EXPECT_FALSE(l.read) << "read as \"" << l.text << "\"";
    EXPECT_STREQ(l.text, "");
    EXPECT_FALSE(l.parsed);
}

// A blot of dirt on the scanned page, absorbing `absorb` of the light over
// a disc of `radius` page pixels around page point (cx, cy).
sheet_edit stain(double cx, double cy, double radius, double absorb, double scale)
{
    return [=](sheet &s, const homography &page_to_scan) {
        double sx = 0, sy = 0;
        map_point(page_to_scan, cx, cy, &sx, &sy);
        const double r = radius * scale;
        for (int64_t y = (int64_t)(sy - r); y <= (int64_t)(sy + r) + 1; y++)
            for (int64_t x = (int64_t)(sx - r); x <= (int64_t)(sx + r) + 1; x++)
                if (x >= 0 && y >= 0 && x < s.width && y < s.height &&
                    hypot(x + 0.5 - sx, y + 0.5 - sy) < r) {
                    uint16_t &v = s.pixels[(size_t)y * s.width + (size_t)x];
                    v = (uint16_t)(v * (1 - absorb));
                }
    };
}

// Blots of dirt of several sizes and darknesses over "ck" of "backup"
// (cells 28 and 29) and around, each cutting strokes of some character.
TEST(LabelDamage, BlotsOfDirtOverAFewCellsMakeItUnreadable)
{
    const std::vector<uint8_t> page = paprel_page(2, 5, "backup", 4);
    const struct {
        double cell, radius, absorb;
    } blots[] = {{28.3, 8, 0.7}, {29.2, 12, 0.9}, {28.8, 16, 0.6}, {28.5, 5, 0.95}, {27.5, 3, 0.8}};
    for (const auto &b : blots) {
        SCOPED_TRACE("blot at cell " + std::to_string(b.cell) + ", radius " +
                     std::to_string(b.radius));
        const double x = text_left + b.cell * glyph_width, y = label_top + text_height / 2.0;
        expect_unreadable(page, 41, stain(x, y, b.radius, b.absorb, 3));
    }
}

// A blot of toner printed with the page is the print itself: it shows
// where it cuts a character's strokes (read_label.cpp says what it cannot
// show).
TEST(LabelDamage, ABlotOfTonerThroughCharactersMakesItUnreadable)
{
    std::vector<uint8_t> page = paprel_page(2, 5, "backup", 4);
    blot(page, text_left + 28.5 * glyph_width, label_top + 12.0, 12.0);
    expect_unreadable(page, 42);
    page = paprel_page(2, 5, "backup", 4);
    blot(page, text_left + 27.5 * glyph_width, label_top + 14.0, 3.0); // on the 'a'
    expect_unreadable(page, 43);
}

TEST(LabelDamage, OtherGlyphsPrintedOverTheLabelMakeItUnreadable)
{
    std::vector<uint8_t> page = paprel_page(2, 5, "backup", 4);
    // Half a cell off the label's own cells, from the page count on.
    overprint(page, text_left + 24 * glyph_width + glyph_width / 2, "9/9 restore");
    expect_unreadable(page, 43);
}

TEST(LabelDamage, NoiseOverTheStripMakesItUnreadable)
{
    std::vector<uint8_t> page = paprel_page(2, 5, "backup", 4);
    std::mt19937 random(5);
    for (uint32_t y = label_top; y < label_top + text_height; y++)
        for (uint32_t x = border_width; x < border_width + data_width; x++)
            if (random() % 50 == 0)
                page_pixel(page, x, y) = 255;
    expect_unreadable(page, 44);
}

TEST(LabelDamage, APageWithoutTheEmblemIsUnreadable)
{
    std::vector<uint8_t> page = paprel_page(2, 5, "backup", 4);
    for (uint32_t y = label_top; y < label_top + text_height; y++)
        memset(&page_pixel(page, border_width, y), 0, emblem_width);
    expect_unreadable(page, 45);
}

TEST(LabelDamage, AnotherEmblemIsUnreadable)
{
    std::vector<uint8_t> page = paprel_page(2, 5, "backup", 4);
    for (uint32_t y = label_top; y < label_top + text_height; y++)
        memset(&page_pixel(page, border_width, y), 0, emblem_width);
    overprint(page, border_width + 28, "papyrus"); // a word where "paprel" was
    expect_unreadable(page, 46);
}

// -- the whole page as unpaprel decodes it --

// decode_page must run read_label between the conditioning and the bits:
// a whole A4 scan, skewed and blurred to the limit, through every stage.
TEST(LabelWholePage, DecodePageReadsTheLabel)
{
    const std::vector<uint8_t> page = paprel_page(9, 10, "photos 2024", 13);
    scan_options o;
    o.rotate = -1.5;
    o.blur = 0.5;
    auto scan = std::make_unique<scanned_label>();
    ASSERT_TRUE(scan_whole_page(page, o, *scan));
    EXPECT_EQ(scan->run.damage.golay_stats[4], 0u) << "the bits no longer decode";
    expect_label(scan->page.label, "0-65-93-24-3-1-2-24 9/10 photos 2024", 9, 10, "photos 2024");
}

} // namespace
