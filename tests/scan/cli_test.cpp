// paperscan as a user runs it: usage, errors and exit status, file naming in
// page order, and the same bytes from the same seed.
#include "cli.h"
#include "grey_image.h"
#include "page_format.h"
#include "scan_options.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace {

class PaperscanCli : public ::testing::Test {
protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }

    // A page file: white, or with a black block at the top-left quarter.
    std::string write_page(const std::string &name, bool with_block)
    {
        std::vector<uint8_t> pixels(page_pixels, 255);
        if (with_block)
            for (uint32_t y = 100; y < 400; y++)
                std::fill_n(pixels.begin() + (size_t)y * page_width + 100, 300, 0);
        std::string path = dir + "/" + name;
        write_pgm(path, page_width, page_height, pixels);
        return path;
    }

    command_result paperscan(std::vector<std::string> args)
    {
        args.insert(args.begin(), PAPERSCAN_BIN);
        return run_command(args);
    }

    // Small and fast: the page at half size on a small sheet.
    std::vector<std::string> small(std::vector<std::string> more)
    {
        std::vector<std::string> args = {"--scale", "0.5", "--sheet", "900x1250"};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    std::string dir;
};

TEST_F(PaperscanCli, NoArgumentsGiveTheUsage)
{
    command_result r = paperscan({});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, paperscan_usage);
    EXPECT_EQ(r.out, "");
}

TEST_F(PaperscanCli, ErrorsEndWithStatusOneAndAReason)
{
    std::string page = write_page("page.pgm", false);
    command_result missing = paperscan(small({dir + "/scan", dir + "/missing.pgm"}));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "paperscan: cannot open " + dir + "/missing.pgm: No such file or directory\n");
    EXPECT_FALSE(file_exists(dir + "/scan_0001.png"));
    command_result bad = paperscan({"--rotate", "x", dir + "/scan", page});
    EXPECT_EQ(bad.status, 1);
    EXPECT_EQ(bad.err, "paperscan: --rotate needs a number from -180 to 180, not \"x\"\n");
    command_result too_small = paperscan({"--sheet", "1000x1000", dir + "/scan", page});
    EXPECT_EQ(too_small.status, 1);
    EXPECT_NE(too_small.err.find("does not fit"), std::string::npos) << too_small.err;
    command_result unwritable = paperscan(small({dir + "/none/scan", page}));
    EXPECT_EQ(unwritable.status, 1);
    EXPECT_EQ(unwritable.err, "paperscan: cannot open " + dir +
                                  "/none/scan_0001.png for writing: No such file or directory\n");
}

TEST_F(PaperscanCli, ScansAreNumberedInTheOrderOfThePages)
{
    std::string white = write_page("white.pgm", false), block = write_page("block.pgm", true);
    command_result r =
        paperscan(small({"--dust", "0", "--noise", "0", dir + "/scan", white, block, white}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string first = read_file(dir + "/scan_0001.png"),
                second = read_file(dir + "/scan_0002.png");
    EXPECT_EQ(read_file(dir + "/scan_0003.png"), first); // the same page, no randomness
    EXPECT_NE(second, first);
    EXPECT_FALSE(file_exists(dir + "/scan_0004.png"));
}

TEST_F(PaperscanCli, TheSeedMakesEveryScanRepeatable)
{
    std::string page = write_page("block.pgm", true);
    const std::vector<std::string> effects = {"--dust",      "40", "--hairs", "3",
                                              "--scratches", "2",  "--noise", "0.02"};
    std::vector<std::string> a = effects, b = effects, c = effects;
    a.insert(a.end(), {"--seed", "7", dir + "/a", page, page});
    b.insert(b.end(), {"--seed", "7", dir + "/b", page, page});
    c.insert(c.end(), {"--seed", "8", dir + "/c", page, page});
    for (const auto &args : {a, b, c})
        ASSERT_EQ(paperscan(small(args)).status, 0);
    EXPECT_EQ(read_file(dir + "/a_0001.png"), read_file(dir + "/b_0001.png"));
    EXPECT_EQ(read_file(dir + "/a_0002.png"), read_file(dir + "/b_0002.png"));
    EXPECT_NE(read_file(dir + "/a_0001.png"), read_file(dir + "/c_0001.png"));
    EXPECT_NE(read_file(dir + "/a_0001.png"),
              read_file(dir + "/a_0002.png")); // each page its own dirt
}

} // namespace
