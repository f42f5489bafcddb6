// Failures of the driver that the command line cannot reach cheaply: the
// page limit, a full disk, and a read error in the middle of the input.
#include "encoder_fixture.h"

namespace {

using driver = encoder_fixture;

TEST_F(driver, PageLimitStopsAfterPage9999)
{
    run.page_number = 9998;
    new_page(run);
    ASSERT_EQ(run.page_number, 9999u);
    EXPECT_EXIT(new_page(run), ::testing::ExitedWithCode(1),
                "^paprel: too many pages - 10,000 or more\n$");
    EXPECT_EQ(read_file(base + "_9999.pgm").size(), 3466149u) << "page 9999 is complete";
    EXPECT_FALSE(file_exists(base + "_10000.pgm"));
}

TEST_F(driver, WriteErrorIsReported)
{
    fclose(run.page_file);
    run.page_file = fopen("/dev/full", "w");
    ASSERT_NE(run.page_file, nullptr);
    EXPECT_EXIT(
        {
            write_page(run);
            close_page_file(run);
        },
        ::testing::ExitedWithCode(1),
        "^paprel: cannot write " + base + "_0001.pgm: No space left on device\n$");
}

TEST_F(driver, ReadErrorIsReported)
{
    run.input_name = "the input";
    run.input_file = fopen(dir.c_str(), "r"); // a directory opens but cannot be read
    ASSERT_NE(run.input_file, nullptr);
    EXPECT_EXIT(encode_input(run), ::testing::ExitedWithCode(1),
                "^paprel: cannot read input file the input: Is a directory\n$");
    fclose(run.input_file);
}

} // namespace
