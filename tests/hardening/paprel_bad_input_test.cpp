// paprel on inputs and outputs it cannot use or must read with care: a
// FIFO and a file of /proc (read through a temporary copy), endless and
// empty devices, a file it may not read, a directory it may not write, a
// name too long for the file system, a full device as standard output, an
// input too large for 9999 pages, a symbolic link or an unread FIFO named
// like a page, and an input that changes size while it is read.  Each run
// has a deadline; each ends with one line and status 1 before any page
// file exists (or with every page it wrote removed), or succeeds
// untouched.  The missing input, a directory as input and a missing output
// directory are covered by the encoder's command-line tests.
#include "cli.h"
#include "guarded_run.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <thread>

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

constexpr size_t page_file_size = 3466149;
constexpr long payload_bytes_per_page = 199773;

// Stands in for the reader of a FIFO named like a page: once the first
// bytes arrive paprel is inside that page's write, which cannot end before
// the rest is drained, so `change` runs at a fixed point of the read of
// the input (no further than the 64 KiB block that filled the page).  The
// test gives up after 20 s without data rather than hang.
void read_page_from_fifo(int fifo, const std::function<void()> &change)
{
    static char buffer[65536];
    size_t total = 0;
    while (total < page_file_size) {
        pollfd wait = {fifo, POLLIN, 0};
        if (poll(&wait, 1, 20000) <= 0)
            return;
        ssize_t got = read(fifo, buffer, sizeof buffer);
        if (got <= 0)
            return;
        if (total == 0)
            change();
        total += (size_t)got;
    }
}

// A FIFO cannot be measured by seeking, so it is read to its end into a
// temporary file first: a writer that sends its bytes and closes gives the
// pages of a regular file with those bytes.
TEST_F(paprel_bad_input, fifo_is_read_to_its_end_first)
{
    std::string fifo = dir + "/pipe";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
    write_file(dir + "/in", "payload");
    ASSERT_TRUE(ended_with(run({"in", "file"}), 0));
    // The open blocks until paprel opens the FIFO for reading.
    std::thread writer([&] {
        int fd = open(fifo.c_str(), O_WRONLY | O_CLOEXEC);
        if (fd >= 0) {
            EXPECT_EQ(write(fd, "payload", 7), 7);
            close(fd);
        }
    });
    guarded_result r = run({"pipe", "file2"});
    writer.join();
    EXPECT_TRUE(ended_with(r, 0));
    EXPECT_EQ(r.err, "");
    std::string from_file = read_file(dir + "/file_0001.pgm");
    std::string from_fifo = read_file(dir + "/file2_0001.pgm");
    ASSERT_EQ(from_fifo.size(), page_file_size);
    // The labels differ in their name only, the codewords not at all.
    const size_t label_start = 17 + 2216 * 1546;
    EXPECT_TRUE(from_file.compare(0, label_start, from_fifo, 0, label_start) == 0);
}

// /dev/zero never ends: it used to fill 9999 pages, each labelled as one
// of 0; now its copy stops as soon as it is too long for 9999 pages, and
// no page is written. /dev/null is honestly empty: one page. A file of
// /proc measures as empty and is not.
TEST_F(paprel_bad_input, devices_that_report_no_size)
{
    guarded_result r = run({"/dev/zero", "zero"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: too many pages - 10,000 or more\n");
    EXPECT_TRUE(no_page_file("zero"));

    r = run({"/dev/null", "null"});
    EXPECT_TRUE(ended_with(r, 0));
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(no_page_file("null"));
    EXPECT_FALSE(file_exists(dir + "/null_0002.pgm"));

    // A file of /proc seeks to an end of 0 but has bytes: it is copied too.
    r = run({"/proc/self/status", "proc"});
    EXPECT_TRUE(ended_with(r, 0));
    EXPECT_EQ(r.err, "");
    EXPECT_FALSE(no_page_file("proc"));
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

// 2 GB and a byte would fill 9999 pages, 34.7 GB, before the limit was
// reached; the size is known before the first page, and so is the refusal.
// The file is sparse: it costs no disk.
TEST_F(paprel_bad_input, input_too_large_for_9999_pages_writes_no_page)
{
    write_file(dir + "/huge", "");
    ASSERT_EQ(truncate((dir + "/huge").c_str(), 2147483649L), 0);
    guarded_result r = run({"huge", "big"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: too many pages - 10,000 or more\n");
    EXPECT_TRUE(no_page_file("big"));
}

// A symbolic link named like page 1 is refused, its target untouched; a
// FIFO named like a page with no reader is refused at once, not waited on.
TEST_F(paprel_bad_input, link_or_fifo_named_like_a_page_is_refused)
{
    write_file(dir + "/in", "payload");
    write_file(dir + "/precious", "not a page");
    ASSERT_EQ(symlink("precious", (dir + "/doc_0001.pgm").c_str()), 0);
    guarded_result r = run({"in", "doc"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err,
              "paprel: cannot open doc_0001.pgm for writing: Too many levels of symbolic links\n");
    EXPECT_EQ(read_file(dir + "/precious"), "not a page");

    ASSERT_EQ(mkfifo((dir + "/fifo_0001.pgm").c_str(), 0644), 0);
    r = run({"in", "fifo"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err, "paprel: cannot open fifo_0001.pgm for writing: No such device or address\n");
}

// An input of two and a half pages grows, or shrinks, while paprel writes
// page 2 into a FIFO the test reads: the three labels announce 3 pages,
// and the pages are removed, the FIFO included, rather than kept as a set
// that looks whole.  Unchanged, the same run writes all three pages.
TEST_F(paprel_bad_input, input_changing_size_during_the_run_removes_the_pages)
{
    const long size = 2 * payload_bytes_per_page + 100000;
    const std::string input = dir + "/in";
    const std::function<void()> changes[] = {
        [&] {
            FILE *file = fopen(input.c_str(), "ab");
            fputs("grown", file);
            fclose(file);
        },
        [&] { ASSERT_EQ(truncate(input.c_str(), size - 1000), 0); },
        [] {},
    };
    for (const std::function<void()> &change : changes) {
        write_file(input, std::string((size_t)size, 'x'));
        const std::string fifo = dir + "/doc_0002.pgm";
        ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
        const int reader = open(fifo.c_str(), O_RDWR | O_CLOEXEC); // never sees an end
        ASSERT_GE(reader, 0);
        std::thread page_reader(read_page_from_fifo, reader, change);
        guarded_result r = run({"in", "doc"});
        page_reader.join();
        close(reader);
        const bool unchanged = &change == &changes[2];
        EXPECT_TRUE(ended_with(r, unchanged ? 0 : 1));
        EXPECT_EQ(r.err, unchanged ? ""
                                   : "paprel: input file in changed size while it was read; its "
                                     "pages are removed\n");
        EXPECT_EQ(no_page_file("doc"), !unchanged);
        EXPECT_EQ(file_exists(fifo), unchanged);
        EXPECT_EQ(file_exists(dir + "/doc_0003.pgm"), unchanged);
        remove(fifo.c_str());
    }
}

} // namespace
