// Payload output: byte packing across codewords and the detection of a
// standard output that cannot be written.
#include "page_state.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

namespace {

TEST(EmitDataBits, PacksTwelveBitWordsIntoBytes)
{
    testing::internal::CaptureStdout();
    emit_data_bits(0xABC);
    fflush(stdout);
    EXPECT_EQ(output_byte, 0x1C);       // the bits 1100 below the sentinel
    emit_data_bits(0xDEF);
    EXPECT_EQ(output_byte, 1);
    emit_data_bits(0x012);
    emit_data_bits(0xF80);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("\xAB\xCD\xEF\x01\x2F\x80", 6));
}

TEST(EmitDataBits, PartialByteIsWrittenAfterTheFirstWord)
{
    testing::internal::CaptureStdout();
    emit_data_bits(0xABC);
    std::string after_first = testing::internal::GetCapturedStdout();
    EXPECT_EQ(after_first, "\xAB");
    testing::internal::CaptureStdout();
    emit_data_bits(0xDEF);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("\xCD\xEF"));
}

TEST(CheckOutput, FullDeviceEndsTheRun)
{
    EXPECT_EXIT(
        {
            if (!freopen("/dev/full", "w", stdout))
                exit(3);
            emit_data_bits(0x123);
            emit_data_bits(0x456);
            check_output();
            exit(0);
        },
        testing::ExitedWithCode(1), "^unpaprel: cannot write output: No space left on device\n$");
}

} // namespace
