// unpaprel --soft on pages paprel wrote and paperscan scanned: a blurred
// page the hard decision loses comes back whole, two scans of a noisy page
// together lose far fewer codewords than one, a page is read from whichever
// base has a scan of it, and on a clean scan --soft says exactly what the
// plain run says plus its own two lines.
#include "cli.h"
#include "png_writer.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

const std::string format = "0-65-93-24-3-1-2-24";

// One directory for the suite: a two-page payload (the first page full,
// 199773 bytes, the second 100227) as pages two_0001.pgm and two_0002.pgm,
// and its first page alone as one_0001.pgm, an archive of one page.
struct pages {
    std::string dir, payload;
};
pages *shared = nullptr;

std::string first_page()
{
    return shared->payload.substr(0, 199773);
}

class soft_decoding : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        shared = new pages{make_temp_dir(), random_bytes(300000, 14)};
        write_file(shared->dir + "/two.bin", shared->payload);
        write_file(shared->dir + "/one.bin", first_page());
        command_options o;
        o.dir = shared->dir;
        for (const char *name : {"one", "two"}) {
            const command_result r = run_command({PAPREL_BIN, std::string(name) + ".bin", name}, o);
            ASSERT_EQ(r.status, 0) << r.err;
        }
    }
    static void TearDownTestSuite()
    {
        remove_tree(shared->dir);
        delete shared;
        shared = nullptr;
    }

    temp_dir work;

    // paperscan's default scan of page `page` of the archive `archive`
    // ("one" or "two"), with `options`, as base_NNNN.png in the test's
    // directory.
    void scan(const std::string &base, int page, std::vector<std::string> options,
              const std::string &archive = "one")
    {
        char number[8];
        snprintf(number, sizeof number, "_%04d", page);
        std::vector<std::string> line = {PAPERSCAN_BIN};
        line.insert(line.end(), options.begin(), options.end());
        line.push_back(work.path + "/" + base + "_tmp");
        line.push_back(shared->dir + "/" + archive + number + ".pgm");
        const command_result r = run_command(line);
        ASSERT_EQ(r.status, 0) << r.err;
        ASSERT_EQ(std::rename((work.path + "/" + base + "_tmp_0001.png").c_str(),
                              (work.path + "/" + base + number + ".png").c_str()),
                  0);
    }

    command_result decode(std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), UNPAPREL_BIN);
        command_options o;
        o.dir = work.path;
        return run_command(arguments, o);
    }
};

// The count after `label` in the run's standard error, or -1.
long count_after(const std::string &err, const std::string &label)
{
    const size_t at = err.rfind(label);
    return at == std::string::npos ? -1 : std::stol(err.substr(at + label.size()));
}

// The messages of the stages before the bits are read: --soft must not
// change where the page is found.
std::string before_bits(const std::string &err)
{
    return err.substr(0, err.find("Doing 1 cycles of 1 2 1"));
}

TEST_F(soft_decoding, gives_back_a_blurred_page_the_hard_decision_loses)
{
    scan("scan", 1, {"--blur", "0.55", "--seed", "2"});
    const command_result hard = decode({format, "scan"});
    EXPECT_EQ(hard.status, 1);
    EXPECT_GT(count_after(hard.err, "4 bad bits      "), 0) << hard.err;
    const command_result soft = decode({"--soft", format, "scan"});
    EXPECT_EQ(soft.status, 0) << soft.err.substr(soft.err.size() - 600);
    EXPECT_EQ(soft.out, first_page());
    EXPECT_EQ(count_after(soft.err, "4 bad bits      "), 0);
    EXPECT_GT(count_after(soft.err, "more bad bits   "), 0);
    EXPECT_EQ(count_after(soft.err, "Soft decision: "), count_after(soft.err, "more bad bits   "));
    EXPECT_NE(soft.err.find(" it corrected to another codeword), 0 doubtful and left "
                            "irreparable.\n"),
              std::string::npos);
    EXPECT_EQ(before_bits(soft.err), before_bits(hard.err));
}

TEST_F(soft_decoding, two_scans_of_a_noisy_page_lose_far_fewer_codewords)
{
    scan("a", 1, {"--noise", "0.18", "--seed", "1"});
    scan("b", 1, {"--noise", "0.18", "--seed", "2"});
    const command_result one = decode({"--soft", "--summary", format, "a"});
    const command_result two = decode({"--soft", "--summary", format, "a", "b"});
    EXPECT_EQ(one.status, 1);
    const long lost_one = count_after(one.err, "4 bad bits      ");
    const long lost_two = count_after(two.err, "4 bad bits      ");
    EXPECT_GT(lost_one, 50);
    EXPECT_LT(lost_two * 20, lost_one) << two.err.substr(two.err.size() - 600);
    // Fewer wrong bytes too, and both scans read, marked and written.
    const std::string truth = first_page();
    auto wrong_bytes = [&](const std::string &out) {
        size_t wrong = 0;
        for (size_t i = 0; i < truth.size() && i < out.size(); i++)
            wrong += out[i] != truth[i];
        return wrong;
    };
    ASSERT_EQ(two.out.size(), truth.size());
    EXPECT_LT(wrong_bytes(two.out), wrong_bytes(one.out));
    EXPECT_NE(two.err.find("Decoding PNG file b_0001.png...\n"), std::string::npos);
    EXPECT_NE(two.err.find("Writing debug image into a_0001_debug.pgm.\nWriting debug image into "
                           "b_0001_debug.pgm.\n"),
              std::string::npos);
    EXPECT_TRUE(file_exists(work.path + "/b_0001_debug.pgm"));
    // One scan: the closing lines point to a second scan; two: no more.
    EXPECT_TRUE(ends_with(one.err, " irreparable codewords\nunpaprel: a second scan of the "
                                   "damaged pages, read with the first, may give them back: "
                                   "unpaprel --soft 0-65-93-24-3-1-2-24 a RESCAN > restored.bin\n"))
        << one.err.substr(one.err.size() - 300);
    EXPECT_TRUE(ends_with(two.err, " irreparable codewords\n") || lost_two == 0);
}

// Page 1 of base a and page 2 of base b are the only scans with a page on
// them: b's page 1 is a white sheet, a has no page 2.
TEST_F(soft_decoding, reads_each_page_from_the_bases_that_have_it)
{
    scan("a", 1, {}, "two");
    scan("b", 2, {}, "two");
    ASSERT_TRUE(write_png(work.path + "/b_0001.png", 600, 800, std::vector<uint8_t>(480000, 255)));
    const command_result r = decode({"--soft", format, "a", "b"});
    EXPECT_EQ(r.status, 0) << r.err.substr(r.err.size() - 600);
    EXPECT_EQ(r.out.substr(0, shared->payload.size()), shared->payload);
    EXPECT_EQ(r.out.size(), 2 * 199773u);
    EXPECT_NE(r.err.find("Decoding PNG file b_0001.png...\n"), std::string::npos);
    EXPECT_NE(r.err.find("Error: cannot find"), std::string::npos);
    EXPECT_NE(r.err.find("Decoding PNG file b_0002.png...\n"), std::string::npos);
    EXPECT_EQ(r.err.find("a_0002"), std::string::npos);
    EXPECT_TRUE(file_exists(work.path + "/a_0001_debug.pgm"));
    EXPECT_TRUE(file_exists(work.path + "/b_0002_debug.pgm"));
}

TEST_F(soft_decoding, on_a_clean_scan_adds_only_its_own_lines)
{
    scan("scan", 1, {"--blur", "0", "--noise", "0", "--dust", "0"});
    const command_result hard = decode({format, "scan"});
    ASSERT_EQ(hard.status, 0);
    const std::string debug = read_file(work.path + "/scan_0001_debug.pgm");
    const command_result soft = decode({"--soft", format, "scan"});
    EXPECT_EQ(soft.status, 0);
    EXPECT_EQ(soft.out, hard.out);
    std::string expected = hard.err;
    const std::string row = "3 bad bits      0\n", total = "total codewords 133182\n";
    ASSERT_NE(expected.find(row), std::string::npos) << hard.err;
    expected.insert(expected.find(row) + row.size(), "more bad bits   0\n");
    expected.insert(expected.find(total) + total.size(),
                    "Soft decision: 0 codewords taken otherwise than the hard decision (0 it "
                    "could not correct, 0 it corrected to another codeword), 0 doubtful and left "
                    "irreparable.\n");
    EXPECT_EQ(soft.err, expected);
    EXPECT_TRUE(read_file(work.path + "/scan_0001_debug.pgm") == debug);
}

TEST_F(soft_decoding, command_line)
{
    scan("scan", 1, {"--blur", "0", "--noise", "0", "--dust", "0"});
    const command_result plain = decode({format, "scan"});
    // Without --soft a second base is ignored, with a warning first.
    const command_result two = decode({format, "scan", "other"});
    EXPECT_EQ(two.status, 0);
    EXPECT_EQ(two.out, plain.out);
    EXPECT_EQ(two.err, "unpaprel: warning: ignoring 1 argument after the base (--soft reads "
                       "them as scans of the same pages)\n" +
                           plain.err);
    // At most 16 scans of a page.
    std::vector<std::string> many = {"--soft", format};
    for (int i = 0; i < 17; i++)
        many.push_back("scan");
    const command_result refused = decode(many);
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.err, "unpaprel: --soft takes at most 16 scans of a page, not 17\n");
    EXPECT_EQ(refused.out, "");
    // A base with no scans at all is no error while another has them.
    const command_result missing = decode({"--soft", format, "none", "scan"});
    EXPECT_EQ(missing.status, 0) << missing.err;
    EXPECT_EQ(missing.out, plain.out);
    // Neither base has a page 1: the message names the first base's scan.
    const command_result none = decode({"--soft", format, "none", "nothing"});
    EXPECT_EQ(none.status, 1);
    EXPECT_TRUE(ends_with(none.err, "unpaprel: cannot open none_0001.png: No such file or "
                                    "directory\n"))
        << none.err;
}

} // namespace
