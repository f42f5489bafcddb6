// Failures of the driver that the command line cannot reach cheaply: the
// page limit, a full disk, and a read error in the middle of the input.
#include "encoder_fixture.h"

namespace {

using driver = encoder_fixture;

TEST_F(driver, PageLimitStopsAfterPage9999)
{
    page_number = 9998;
    new_page();
    ASSERT_EQ(page_number, 9999u);
    EXPECT_EXIT(new_page(), ::testing::ExitedWithCode(1),
                "^paprel: too many pages - 10,000 or more\n$");
    EXPECT_EQ(read_file(base + "_9999.pgm").size(), 3466149u) << "page 9999 is complete";
    EXPECT_FALSE(file_exists(base + "_10000.pgm"));
}

TEST_F(driver, WriteErrorIsReported)
{
    fclose(page_file);
    page_file = fopen("/dev/full", "w");
    ASSERT_NE(page_file, nullptr);
    EXPECT_EXIT(
        {
            write_page();
            close_page_file();
        },
        ::testing::ExitedWithCode(1),
        "^paprel: cannot write " + base + "_0001.pgm: No space left on device\n$");
}

TEST_F(driver, ReadErrorIsReported)
{
    input_name = "the input";
    input_file = fopen(dir.c_str(), "r"); // a directory opens but cannot be read
    ASSERT_NE(input_file, nullptr);
    EXPECT_EXIT(encode_input(), ::testing::ExitedWithCode(1),
                "^paprel: cannot read input file the input: Is a directory\n$");
    fclose(input_file);
}

} // namespace
