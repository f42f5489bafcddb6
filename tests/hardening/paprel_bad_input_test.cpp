// paprel on inputs and outputs it cannot use: a FIFO, endless and empty
// devices, a file it may not read, a directory it may not write, a name
// too long for the file system, and a full device as standard output.
// Each run has a deadline; each ends with one line and status 1 before any
// page file exists, or succeeds untouched.  The missing input, a directory
// as input and a missing output directory are covered by the encoder's
// command-line tests.
#include "cli.h"
#include "guarded_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace {

class paprel_bad_input : public ::testing::Test {
protected:
    void SetUp() override { chmod(dir.c_str(), 0755); }
    void TearDown() override { remove_tree(dir); }

    // A short deadline: a paprel that does not stop writes pages fast.
    guarded_result run(const std::vector<std::string> &args, guarded_options options = {})
    {
        std::vector<std::string> argv = {PAPREL_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        options.dir = dir;
        options.timeout_seconds = 15;
        return run_guarded(argv, options);
    }
    bool no_page_file(const std::string &name)
    {
        return !file_exists(dir + "/" + name + "_0001.pgm");
    }
    std::string dir = make_temp_dir();
};

// The test holds the FIFO open for writing, so paprel's open for reading
// returns at once and the seek is what fails.
TEST_F(paprel_bad_input, fifo_cannot_be_measured)
{
    std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    int writer = open(fifo.c_str(), O_RDWR | O_CLOEXEC);
    ASSERT_GE(writer, 0);
    guarded_result r = run({"pipe", "out"});
    close(writer);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: cannot seek to the end of pipe: Illegal seek\n");
    EXPECT_TRUE(no_page_file("out"));
}

// /dev/zero seeks to its end at 0 and then never ends: it used to fill 9999
// pages, each labelled as one of 0.  /dev/null is honestly empty: one page.
TEST_F(paprel_bad_input, devices_that_report_no_size)
{
    guarded_result r = run({"/dev/zero", "zero"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: cannot measure the size of /dev/zero\n");
    EXPECT_TRUE(no_page_file("zero"));

    r = run({"/dev/null", "null"});
    EXPECT_TRUE(ended_with(r, 0));
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(no_page_file("null"));
    EXPECT_FALSE(file_exists(dir + "/null_0002.pgm"));
}

// As root every file is readable and every directory writable, so these
// runs drop to the user nobody.
TEST_F(paprel_bad_input, file_without_read_permission_and_directory_without_write_permission)
{
    write_file(dir + "/secret", "payload");
    ASSERT_EQ(chmod((dir + "/secret").c_str(), 0), 0);
    guarded_options nobody;
    nobody.as_nobody = true;
    guarded_result r = run({"secret", "out"}, nobody);
    if (r.status == 125)
        GTEST_SKIP() << "cannot run as user nobody";
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: cannot open input file secret: Permission denied\n");

    write_file(dir + "/in", "payload");
    ASSERT_EQ(mkdir((dir + "/ro").c_str(), 0555), 0);
    r = run({"in", "ro/doc"}, nobody);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: cannot open ro/doc_0001.pgm for writing.\n");
    EXPECT_TRUE(no_page_file("ro/doc"));
}

TEST_F(paprel_bad_input, name_too_long_for_the_file_system)
{
    write_file(dir + "/in", "payload");
    std::string base(250, 'n'); // 259 characters with "_0001.pgm"
    guarded_result r = run({"in", base});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: cannot open " + base + "_0001.pgm for writing.\n");
}

// paprel writes nothing to standard output, so a full one changes nothing.
TEST_F(paprel_bad_input, full_standard_output_is_never_written)
{
    write_file(dir + "/in", "payload");
    guarded_options full;
    full.stdout_path = "/dev/full";
    guarded_result r = run({"in", "doc"}, full);
    EXPECT_TRUE(ended_with(r, 0));
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(read_file(dir + "/doc_0001.pgm").size(), 3466149u);
}

} // namespace
