// Failures of the driver that the command line cannot reach cheaply: the
// page limit, a full disk, and a read error in the middle of the input;
// each comes back as a status and report_failure prints its message.
#include "encoder_fixture.h"
#include "stderr_capture.h"

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
    EXPECT_EQ(message_of(run, status), "paprel: cannot read input file the input: Is a directory\n");
}

} // namespace
