// The real paprel program on inputs that seeking cannot measure, on its
// options and on command lines that earn a warning: standard input, pipes
// and FIFOs give the pages a regular file gives, byte for byte, through a
// temporary file that never outlives the run; --help, --version and an
// unknown option; the warnings and the directory hint, each with pages
// (and exit status) as without it.
#include "cli.h"
#include "command_line.h"
#include "page_check.h"
#include "paprel_usage.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace {

struct paprel_input : ::testing::Test {
    temp_dir dir;
    temp_dir spool; // TMPDIR of every run: it must be empty after each

    // paprel through /bin/sh, so that a test can pipe into it.
    command_result shell(const std::string &line, long size_limit = -1)
    {
        command_options options;
        options.dir = dir.path;
        options.file_size_limit = size_limit;
        return run_command({"/bin/sh", "-c", "export TMPDIR=" + spool.path + "; " + line}, options);
    }
    command_result run(std::vector<std::string> args, const std::string &stdin_path = "")
    {
        args.insert(args.begin(), PAPREL_BIN);
        command_options options;
        options.dir = dir.path;
        options.stdin_path = stdin_path;
        return run_command(args, options);
    }
    // The pages of base `base`, read and then removed.
    std::vector<std::string> take_pages(const std::string &base)
    {
        std::vector<std::string> pages;
        for (int n = 1; n < 100; n++) {
            char number[16];
            snprintf(number, sizeof number, "_%04d.pgm", n);
            const std::string name = dir.path + "/" + base + number;
            if (!file_exists(name))
                break;
            pages.push_back(read_file(name));
            remove(name.c_str());
        }
        return pages;
    }
    bool spool_left_behind() { return run_command({"/bin/ls", "-A", spool.path}).out != ""; }
};

const std::string paprel = PAPREL_BIN;

// Two pages and a bit, so that the count on every label comes from the
// spool's size; the same bytes through a pipe, /dev/stdin, a FIFO and a
// redirected standard input give the same pages as the file.
TEST_F(paprel_input, PipesAndStandardInputGiveTheFilesPages)
{
    write_file(dir.path + "/in", random_bytes(2 * 199773 + 1000, 5));
    ASSERT_EQ(run({"in", "doc"}).status, 0);
    const std::vector<std::string> expected = take_pages("doc");
    ASSERT_EQ(expected.size(), 3u);
    EXPECT_EQ(read_label((const uint8_t *)expected[2].data() + pgm_header_size),
              label_cells("  0-65-93-24-3-1-2-24 3/3 doc"));

    ASSERT_EQ(mkfifo((dir.path + "/fifo").c_str(), 0644), 0);
    const std::string lines[] = {
        "cat in | " + paprel + " - doc",
        "cat in | " + paprel + " /dev/stdin doc",
        paprel + " - doc < in",
        "cat in > fifo & " + paprel + " fifo doc; wait",
    };
    for (const std::string &line : lines) {
        command_result result = shell(line);
        EXPECT_EQ(result.status, 0) << line;
        EXPECT_EQ(result.out + result.err, "") << line;
        EXPECT_TRUE(take_pages("doc") == expected) << line;
        EXPECT_FALSE(spool_left_behind()) << line;
    }
}

// An empty pipe is an empty file: one page announcing 0 pages; so is
// /dev/null, a character device, as standard input.
TEST_F(paprel_input, EmptyPipeIsAnEmptyFile)
{
    write_file(dir.path + "/in", "");
    ASSERT_EQ(run({"in", "e"}).status, 0);
    const std::vector<std::string> expected = take_pages("e");
    ASSERT_EQ(expected.size(), 1u);
    command_result result = shell("printf '' | " + paprel + " - e");
    EXPECT_EQ(result.status, 0);
    EXPECT_TRUE(take_pages("e") == expected);
    result = run({"-", "e"}); // standard input is /dev/null
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_TRUE(take_pages("e") == expected);
}

// A spool that cannot be made or filled fails before any page exists and
// leaves no temporary file.
TEST_F(paprel_input, SpoolThatCannotBeWritten)
{
    write_file(dir.path + "/in", random_bytes(300000, 3));
    command_options options;
    options.dir = dir.path;
    command_result result = run_command(
        {"/bin/sh", "-c", "TMPDIR=" + spool.path + "/missing " + paprel + " - doc < in"}, options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "paprel: cannot create a temporary file in " + spool.path +
                              "/missing for standard input: No such file or directory\n");
    EXPECT_TRUE(take_pages("doc").empty());

    // A file size limit stands in for a full TMPDIR; the input is read
    // from a pipe, which the limit does not touch.
    result = shell("cat in | " + paprel + " - doc", 100000);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "paprel: cannot copy standard input into a temporary file in " +
                              spool.path + ": File too large\n");
    EXPECT_TRUE(take_pages("doc").empty());
    EXPECT_FALSE(spool_left_behind());
}

TEST_F(paprel_input, HelpVersionAndUnknownOptions)
{
    command_result help = run({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.err, "");
    EXPECT_EQ(help.out.rfind("Usage: paprel [options] <input file> [filename base]\n", 0), 0u);
    EXPECT_NE(help.out.find(" - [filename base]"), std::string::npos) << "standard input";
    EXPECT_NE(help.out.find("--version"), std::string::npos);
    command_result h = run({"-h"});
    EXPECT_EQ(h.status, 0);
    EXPECT_EQ(h.out, help.out);

    command_result version = run({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out + version.err, "paprel 1.0\n");

    // Wherever it stands, the first option decides, and nothing is encoded.
    write_file(dir.path + "/in", "x");
    const std::vector<std::string> refused[] = {
        {"-x"}, {"in", "--base"}, {"in", "doc", "-q", "-h"}};
    for (const std::vector<std::string> &args : refused) {
        command_result result = run(args);
        EXPECT_EQ(result.status, 1) << args.back();
        EXPECT_EQ(result.out, "");
        const std::string option = args.size() == 1 ? "-x" : args.size() == 2 ? "--base" : "-q";
        EXPECT_EQ(result.err, "paprel: unknown option " + option + "\n" + paprel_usage_text);
    }
    EXPECT_TRUE(take_pages("doc").empty());
    EXPECT_EQ(run({"in", "doc", "--version"}).out, "paprel 1.0\n");

    // A file whose name starts with '-' is still an input.
    write_file(dir.path + "/-x", "x");
    command_result result = run({"-x", "doc"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(take_pages("doc").size(), 1u);
}

// Each warning with the label it warns about; the pages are those of the
// same run without the warning's cause where there is one.
TEST_F(paprel_input, WarningsSayWhatTheLabelShows)
{
    write_file(dir.path + "/in", "data");
    ASSERT_EQ(run({"in", "doc"}).status, 0);
    const std::vector<std::string> plain = take_pages("doc");
    command_result result = run({"in", "doc", "c.txt", "d.txt"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "paprel: warning: ignoring 2 arguments after the base: c.txt d.txt\n");
    EXPECT_TRUE(take_pages("doc") == plain);
    result = run({"in", "doc", "c.txt"});
    EXPECT_EQ(result.err, "paprel: warning: ignoring 1 argument after the base: c.txt\n");
    EXPECT_TRUE(take_pages("doc") == plain);

    ASSERT_EQ(mkdir((dir.path + "/out").c_str(), 0755), 0);
    result = run({"in", "out/backup"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "paprel: warning: the label shows the whole base, directories "
                          "included: \"out/backup\"\n");
    std::string page = read_file(dir.path + "/out/backup_0001.pgm");
    EXPECT_EQ(read_label((const uint8_t *)page.data() + pgm_header_size),
              label_cells("  0-65-93-24-3-1-2-24 1/1 out/backup"));

    const std::string sum(64, 'f');
    const std::string base = "backup-6725-" + sum;
    result = run({"in", base});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.err, "paprel: warning: the label shows only the first 72 characters of the "
                          "base: \"" +
                              base.substr(0, 72) + "\"\n");
    page = take_pages(base).at(0);
    EXPECT_EQ(read_label((const uint8_t *)page.data() + pgm_header_size),
              label_cells("  0-65-93-24-3-1-2-24 1/1 " + base));

    result = run({"in", "M\xC3\xBCller"});
    EXPECT_EQ(result.err, "paprel: warning: the label leaves out the base's control and "
                          "non-ASCII characters: \"Mller\"\n");
}

// With 12 pages the last label has room for 70 characters and page 1 for
// 71; the warning counts the fewest and names page 1's.
TEST(paprel_warnings, CutDependsOnThePageCount)
{
    static paprel_run run;
    run.page_count = 12;
    std::string name(80, 'n');
    char *argv[] = {(char *)"paprel", (char *)"in", &name[0]};
    const paprel_command command = read_command_line(3, argv);
    ASSERT_EQ(command.action, paprel_action::encode);
    EXPECT_EQ(capture_stderr([&] { warn_about_arguments(run, command); }),
              "paprel: warning: the label shows only the first 70 characters of the base (71 on "
              "page 1): \"" +
                  name.substr(0, 70) + "\"\n");
}

// A directory as input: the old message and a line on making one file.
TEST_F(paprel_input, DirectoryGetsATarHint)
{
    ASSERT_EQ(mkdir((dir.path + "/docs").c_str(), 0755), 0);
    for (const std::string arg : {"docs", "docs/", "./docs/"}) {
        command_result result = run({arg, "doc"});
        EXPECT_EQ(result.status, 1);
        // The first line is the read's or the seek's, as the file system has it.
        const std::string shown = arg == "./docs/" ? "./docs" : "docs";
        EXPECT_TRUE(ends_with(result.err, "\npaprel: to keep a directory, make one file of it "
                                          "first: tar -cf - " +
                                              shown + " | xz > docs.tar.xz\n"))
            << result.err;
        EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 2);
    }
    command_result result = run({".", "doc"});
    EXPECT_TRUE(ends_with(result.err, "tar -cf - . | xz > DIR.tar.xz\n")) << result.err;
    EXPECT_TRUE(take_pages("doc").empty());
}

} // namespace
