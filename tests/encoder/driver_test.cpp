// Failures of the driver that the command line cannot reach cheaply: the
// page limit, a full disk, a read error in the middle of the input, a page
// that cannot be created when the bit writer turns to it, and an input that
// changes size between its measure and its read; each comes back as a
// status and report_failure prints its message.
#include "encoder_fixture.h"
#include "page_check.h"
#include "stderr_capture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace {

using driver = encoder_fixture;

std::string message_of(const paprel_run &run, paprel_status status)
{
    return capture_stderr([&] { report_failure(run, status); });
}

TEST_F(driver, PageLimitStopsAfterPage9999)
{
    run.page_number = 9998;
    ASSERT_FALSE(failed(new_page(run)));
    ASSERT_EQ(run.page_number, 9999u);
    paprel_status status = new_page(run);
    EXPECT_EQ(status.failure, paprel_failure::page_limit);
    EXPECT_EQ(message_of(run, status), "paprel: too many pages - 10,000 or more\n");
    EXPECT_EQ(read_file(base + "_9999.pgm").size(), 3466149u) << "page 9999 is complete";
    EXPECT_FALSE(file_exists(base + "_10000.pgm"));
}

TEST_F(driver, WriteErrorIsReported)
{
    fclose(run.page_file);
    run.page_file = fopen("/dev/full", "w");
    ASSERT_NE(run.page_file, nullptr);
    paprel_status status = write_page(run);
    if (!failed(status))
        status = close_page_file(run);
    EXPECT_EQ(status.failure, paprel_failure::page_write);
    EXPECT_EQ(message_of(run, status),
              "paprel: cannot write " + base + "_0001.pgm: No space left on device\n");
}

TEST_F(driver, ReadErrorIsReported)
{
    run.input_name = "the input";
    run.input_file = fopen(dir.c_str(), "r"); // a directory opens but cannot be read
    ASSERT_NE(run.input_file, nullptr);
    paprel_status status = encode_input(run);
    EXPECT_EQ(status.failure, paprel_failure::input_read);
    EXPECT_EQ(message_of(run, status),
              "paprel: cannot read input file the input: Is a directory\n");
}

// The page turn starts deep in the bit writer: from a block of bytes and
// from a byte while bits wait, its failure must come back at once, and
// nothing after it be taken - another word would turn the page again.
TEST_F(driver, FailedPageTurnStopsTheWriter)
{
    ASSERT_EQ(mkdir((base + "_0002.pgm").c_str(), 0755), 0); // page 2 cannot be created
    const uint8_t bytes[] = {0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0, 0x12};
    start(2, "");
    run.codeword_index = codewords_per_page - 1;
    paprel_status status = feed_bytes(run, bytes, sizeof bytes);
    EXPECT_EQ(status.failure, paprel_failure::page_open);
    EXPECT_EQ(status.error, EISDIR);
    EXPECT_EQ(run.page_number, 2u) << "one page turn";
    std::string page1 = read_file(base + "_0001.pgm");
    ASSERT_EQ(page1.size(), 3466149u);
    const uint8_t *pixels = (const uint8_t *)page1.data() + pgm_header_size;
    EXPECT_EQ(read_codeword(pixels, codewords_per_page - 1), 0x123207u);

    start(2, "");
    for (int i = 0; i < 4; i++)
        ASSERT_FALSE(failed(feed_bit(run, 1)));
    run.codeword_index = codewords_per_page;
    status = feed_bytes(run, bytes, sizeof bytes);
    EXPECT_EQ(status.failure, paprel_failure::page_open);
    EXPECT_EQ(run.page_number, 2u) << "one page turn";
    EXPECT_EQ(message_of(run, status), "paprel: cannot open " + base + "_0002.pgm for writing.\n");
}

// The closing bits can turn the page too; encode_input must stop there
// rather than write a page whose file never opened.
TEST_F(driver, FailedPageTurnInTheClosingBitsEndsTheInput)
{
    ASSERT_EQ(mkdir((base + "_0002.pgm").c_str(), 0755), 0);
    write_file(dir + "/in", "\xAB");
    run.input_name = "in";
    run.input_file = fopen((dir + "/in").c_str(), "r");
    ASSERT_NE(run.input_file, nullptr);
    run.input_size = 1;
    run.codeword_index = codewords_per_page; // the byte's 8 bits wait for the closing ones
    paprel_status status = encode_input(run);
    EXPECT_EQ(status.failure, paprel_failure::page_open);
    EXPECT_EQ(run.page_number, 2u);
    EXPECT_EQ(read_file(base + "_0001.pgm").size(), 3466149u);
}

// The limit is decided from the size alone: the last size that fits 9999
// pages opens with that count, a byte more is refused before any page.
// Sparse files, so the sizes cost no disk.
TEST_F(driver, PageLimitIsKnownFromTheInputSize)
{
    const std::string input = dir + "/huge";
    write_file(input, "");
    const long fits = 9999L * payload_bytes_per_page;
    for (long size : {fits, fits + 1}) {
        end_run(run);
        ASSERT_EQ(truncate(input.c_str(), size), 0);
        paprel_status status = open_input(run, input.c_str());
        EXPECT_EQ(status.failure, size == fits ? paprel_failure::none : paprel_failure::page_limit)
            << size;
        if (size == fits) {
            EXPECT_EQ(run.page_count, 9999u);
        }
    }
}

// The input measured, then changed before encode_input reads it: a byte
// more, or fewer bytes, both fail, with every page of the run removed; an
// input left alone is written whole.  The input spans two pages, so that
// page 1 is complete on disk when the change is found.
TEST_F(driver, InputChangedAfterItsMeasureRemovesThePages)
{
    const std::string input = dir + "/in";
    const size_t size = payload_bytes_per_page + 1000;
    for (long change : {1L, -1L, -1000L, 0L}) {
        start(2, ""); // ends the run before, which closes its input
        write_file(input, std::string(size, '\x5A'));
        ASSERT_FALSE(failed(open_input(run, input.c_str())));
        ASSERT_EQ(run.page_count, 2u);
        ASSERT_EQ(truncate(input.c_str(), (long)size + change), 0);
        run.input_name = "in";
        paprel_status status = encode_input(run);
        if (change == 0) {
            EXPECT_FALSE(failed(status));
            EXPECT_TRUE(file_exists(base + "_0002.pgm"));
            continue;
        }
        EXPECT_EQ(status.failure, paprel_failure::input_changed) << change;
        EXPECT_EQ(status.error, 0);
        EXPECT_EQ(message_of(run, status),
                  "paprel: input file in changed size while it was read; its pages are removed\n");
        EXPECT_FALSE(file_exists(base + "_0001.pgm")) << change;
        EXPECT_FALSE(file_exists(base + "_0002.pgm")) << change;
    }
}

// A page that cannot be removed is named, with the reason: here page 1's
// name became a directory with a file in it while the page was open.
TEST_F(driver, PageThatCannotBeRemovedIsNamed)
{
    const std::string input = dir + "/in";
    write_file(input, "payload");
    ASSERT_FALSE(failed(open_input(run, input.c_str())));
    write_file(input, "payload and more");
    run.input_name = "in";
    const std::string page1 = base + "_0001.pgm";
    ASSERT_EQ(remove(page1.c_str()), 0);
    ASSERT_EQ(mkdir(page1.c_str(), 0755), 0);
    write_file(page1 + "/inside", "");
    paprel_status status = encode_input(run);
    EXPECT_EQ(status.failure, paprel_failure::input_changed);
    EXPECT_EQ(message_of(run, status), "paprel: input file in changed size while it was read; "
                                       "cannot remove " +
                                           page1 + ": Directory not empty\n");
}

} // namespace
