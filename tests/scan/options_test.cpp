// Command line of paperscan: defaults, every option reaching its field, and
// the messages for values that cannot be used.
#include "scan_options.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

struct parsed {
    bool ok;
    scan_command command; // its page list points into argv
    std::string err;
    std::vector<const char *> argv;
};

// Held by pointer so that argv, which the command points into, never moves.
std::unique_ptr<parsed> parse_owned(std::vector<const char *> args)
{
    std::unique_ptr<parsed> p(new parsed{false, {}, "", std::move(args)});
    p->argv.insert(p->argv.begin(), "paperscan");
    p->err = capture_stderr(
        [&] { p->ok = parse_command_line((int)p->argv.size(), p->argv.data(), &p->command); });
    return p;
}

// For the options alone: the names and page list are not looked at.
parsed parse(std::vector<const char *> args)
{
    std::unique_ptr<parsed> p = parse_owned(std::move(args));
    return parsed{p->ok, p->command, p->err, {}};
}

TEST(ScanOptions, DefaultsAreAnA4SheetAt600DpiWithMildEffects)
{
    std::unique_ptr<parsed> owned = parse_owned({"scan", "a.pgm", "b.pgm"});
    const parsed &p = *owned;
    ASSERT_TRUE(p.ok) << p.err;
    EXPECT_STREQ(p.command.output_base, "scan");
    ASSERT_EQ(p.command.page_count, 2);
    EXPECT_STREQ(p.command.pages[0], "a.pgm");
    EXPECT_STREQ(p.command.pages[1], "b.pgm");
    const scan_options &o = p.command.options;
    EXPECT_EQ(o.sheet_width, 4961u);
    EXPECT_EQ(o.sheet_height, 7016u);
    EXPECT_EQ(o.scale, 3.0);
    EXPECT_EQ(o.kind, kind_grey8);
    EXPECT_FALSE(o.write_gamma);
    EXPECT_DOUBLE_EQ(o.gamma, 0.454545);
    EXPECT_LT(o.toner, o.paper);
    EXPECT_GT(o.toner, 0.0);
    EXPECT_LT(o.paper, 1.0);
    EXPECT_EQ(p.err, "");
}

TEST(ScanOptions, SheetsByNameFollowTheResolution)
{
    parsed letter = parse({"--sheet", "letter", "s", "p.pgm"});
    ASSERT_TRUE(letter.ok);
    EXPECT_EQ(letter.command.options.sheet_width, 5100u);
    EXPECT_EQ(letter.command.options.sheet_height, 6600u);
    parsed fine = parse({"--dpi", "1200", "s", "p.pgm"});
    ASSERT_TRUE(fine.ok);
    EXPECT_EQ(fine.command.options.sheet_width, 9921u);
    EXPECT_EQ(fine.command.options.sheet_height, 14031u);
    parsed custom = parse({"--sheet", "3300x4700", "--dpi", "300", "s", "p.pgm"});
    ASSERT_TRUE(custom.ok);
    EXPECT_EQ(custom.command.options.sheet_width, 3300u);
    EXPECT_EQ(custom.command.options.sheet_height, 4700u);
}

TEST(ScanOptions, EveryOptionReachesItsField)
{
    parsed p = parse({"--scale",
                      "2.7",
                      "--aspect",
                      "1.01",
                      "--perspective",
                      "-0.01",
                      "--rotate",
                      "1.5",
                      "--offset",
                      "-12.5,40",
                      "--blur",
                      "0.45",
                      "--dot-gain",
                      "-0.2",
                      "--paper",
                      "0.8",
                      "--toner",
                      "0.1",
                      "--illumination",
                      "0.2",
                      "--noise",
                      "0.03",
                      "--dust",
                      "4",
                      "--dust-size",
                      "3",
                      "--hairs",
                      "7",
                      "--hair-width",
                      "2",
                      "--scratches",
                      "2",
                      "--scratch-width",
                      "1.2",
                      "--kind",
                      "palette",
                      "--gamma",
                      "1",
                      "--interlace",
                      "--seed",
                      "18446744073709551615",
                      "base",
                      "p.pgm"});
    ASSERT_TRUE(p.ok) << p.err;
    const scan_options &o = p.command.options;
    EXPECT_EQ(o.scale, 2.7);
    EXPECT_EQ(o.aspect, 1.01);
    EXPECT_EQ(o.perspective, -0.01);
    EXPECT_EQ(o.rotate, 1.5);
    EXPECT_EQ(o.offset_x, -12.5);
    EXPECT_EQ(o.offset_y, 40.0);
    EXPECT_EQ(o.blur, 0.45);
    EXPECT_EQ(o.dot_gain, -0.2);
    EXPECT_EQ(o.paper, 0.8);
    EXPECT_EQ(o.toner, 0.1);
    EXPECT_EQ(o.illumination, 0.2);
    EXPECT_EQ(o.noise, 0.03);
    EXPECT_EQ(o.dust, 4.0);
    EXPECT_EQ(o.dust_size, 3.0);
    EXPECT_EQ(o.hairs, 7u);
    EXPECT_EQ(o.hair_width, 2.0);
    EXPECT_EQ(o.scratches, 2u);
    EXPECT_EQ(o.scratch_width, 1.2);
    EXPECT_EQ(o.kind, kind_palette);
    EXPECT_TRUE(o.write_gamma);
    EXPECT_EQ(o.gamma, 1.0);
    EXPECT_TRUE(o.interlace);
    EXPECT_EQ(o.seed, 18446744073709551615ull);
}

TEST(ScanOptions, StreaksCollectInOrderWithTheirDefaults)
{
    parsed p = parse({"--streak", "column:0.3:1.5:2", "--streak", "row:0.75", "--streak",
                      "row:1:-45", "s", "p.pgm"});
    ASSERT_TRUE(p.ok) << p.err;
    const scan_options &o = p.command.options;
    ASSERT_EQ(o.streak_count, 3u);
    const streak_line expected[3] = {
        {false, 0.3, 1.5, 2.0}, {true, 0.75, 0.0, 1.0}, {true, 1.0, -45.0, 1.0}};
    for (int i = 0; i < 3; i++) {
        SCOPED_TRACE(i);
        EXPECT_EQ(o.streaks[i].along_row, expected[i].along_row);
        EXPECT_EQ(o.streaks[i].position, expected[i].position);
        EXPECT_EQ(o.streaks[i].angle, expected[i].angle);
        EXPECT_EQ(o.streaks[i].width, expected[i].width);
    }
    EXPECT_EQ(parse({"s", "p.pgm"}).command.options.streak_count, 0u);
}

TEST(ScanOptions, StreaksOutOfShapeOrRangeOrNumberAreRefused)
{
    const std::string wanted = "column or row, then :POS from 0 to 1, optionally :DEG from -45 to "
                               "45 and :W from 0.1 to 50";
    for (const char *value :
         {"diagonal:0.5", "column", "column:", "column:1.5", "row:0.5:46", "row:0.5:0:0",
          "column:0.5:0:1:2", "column:0.5x", "row:0.5::1", "COLUMN:0.5"}) {
        parsed p = parse({"--streak", value, "s", "p"});
        EXPECT_FALSE(p.ok) << value;
        EXPECT_EQ(p.err, "paperscan: --streak needs " + wanted + ", not \"" + value + "\"\n");
    }
    std::vector<const char *> nine;
    for (int i = 0; i < 9; i++)
        nine.insert(nine.end(), {"--streak", "row:0.5"});
    nine.insert(nine.end(), {"s", "p"});
    parsed p = parse(nine);
    EXPECT_FALSE(p.ok);
    EXPECT_EQ(p.err, "paperscan: --streak given more than 8 times\n");
}

TEST(ScanOptions, KindsByName)
{
    const char *names[] = {"grey8", "grey16", "rgb", "palette", "grey1"};
    const png_kind kinds[] = {kind_grey8, kind_grey16, kind_rgb, kind_palette, kind_grey1};
    for (int i = 0; i < 5; i++) {
        parsed p = parse({"--kind", names[i], "s", "p.pgm"});
        ASSERT_TRUE(p.ok) << names[i];
        EXPECT_EQ(p.command.options.kind, kinds[i]);
    }
}

TEST(ScanOptions, UnusableValuesAreRefusedWithAReason)
{
    struct bad_case {
        std::vector<const char *> args;
        const char *message;
    };
    const bad_case cases[] = {
        {{"--scale", "abc", "s", "p"},
         "paperscan: --scale needs a number from 0.5 to 12, not \"abc\"\n"},
        {{"--scale", "3x", "s", "p"},
         "paperscan: --scale needs a number from 0.5 to 12, not \"3x\"\n"},
        {{"--blur", "nan", "s", "p"},
         "paperscan: --blur needs a number from 0 to 5, not \"nan\"\n"},
        {{"--dot-gain", "1", "s", "p"},
         "paperscan: --dot-gain needs a number from -0.9 to 0.9, not \"1\"\n"},
        {{"--hairs", "1001", "s", "p"},
         "paperscan: --hairs needs a whole number from 0 to 1000, not \"1001\"\n"},
        {{"--seed", "1.5", "s", "p"}, "paperscan: --seed needs a whole number, not \"1.5\"\n"},
        {{"--offset", "3,y", "s", "p"},
         "paperscan: --offset needs DX,DY, each from -20000 to 20000, not \"3,y\"\n"},
        {{"--kind", "jpeg", "s", "p"},
         "paperscan: --kind needs grey8, grey16, rgb, palette or grey1, not \"jpeg\"\n"},
        {{"--sheet", "100x30000", "s", "p"},
         "paperscan: --sheet needs a4, letter or WIDTHxHEIGHT from 16x16 to 20000x20000, not "
         "\"100x30000\"\n"},
        {{"--sharpen", "1", "s", "p"}, "paperscan: unknown option --sharpen\n"},
        {{"s", "p", "--blur"}, "paperscan: options go before the output base: --blur\n"},
        {{"--blur"}, "paperscan: --blur needs a value\n"},
        {{"s"}, "paperscan: need an output base and at least one page after the options\n"},
        {{"--toner", "0.9", "--paper", "0.9", "s", "p"},
         "paperscan: --toner (0.9) must be darker than --paper (0.9)\n"},
    };
    for (const bad_case &c : cases) {
        parsed p = parse(c.args);
        EXPECT_FALSE(p.ok) << c.message;
        EXPECT_EQ(p.err, c.message);
    }
}

} // namespace
