// Payload output: byte packing across codewords and the detection of a
// standard output that cannot be written.
#include "stage_internals.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>

namespace {

TEST(EmitDataBits, PacksTwelveBitWordsIntoBytes)
{
    decoder_run run;
    testing::internal::CaptureStdout();
    emit_data_bits(run, 0xABC);
    fflush(stdout);
    EXPECT_EQ(run.output_byte, 0x1C); // the bits 1100 below the sentinel
    emit_data_bits(run, 0xDEF);
    EXPECT_EQ(run.output_byte, 1);
    emit_data_bits(run, 0x012);
    emit_data_bits(run, 0xF80);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("\xAB\xCD\xEF\x01\x2F\x80", 6));
}

TEST(EmitDataBits, PartialByteIsWrittenAfterTheFirstWord)
{
    decoder_run run;
    testing::internal::CaptureStdout();
    emit_data_bits(run, 0xABC);
    std::string after_first = testing::internal::GetCapturedStdout();
    EXPECT_EQ(after_first, "\xAB");
    testing::internal::CaptureStdout();
    emit_data_bits(run, 0xDEF);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string("\xCD\xEF"));
}

// The stage only reports the failed write and keeps its reason; the
// message and the exit status are the driver's (see the round-trip and
// hardening tests, which run the program into /dev/full and a closed pipe).
TEST(CheckOutput, FullDeviceIsReportedWithItsReason)
{
    EXPECT_EXIT(
        {
            if (!freopen("/dev/full", "w", stdout))
                exit(3);
            decoder_run run;
            emit_data_bits(run, 0x123);
            emit_data_bits(run, 0x456);
            const bool written = check_output(run);
            exit(!written && run.output_error == ENOSPC ? 0 : 4);
        },
        testing::ExitedWithCode(0), "^$");
}

TEST(CheckOutput, WritableOutputPasses)
{
    decoder_run run;
    testing::internal::CaptureStdout();
    emit_data_bits(run, 0x123);
    emit_data_bits(run, 0x456);
    EXPECT_TRUE(check_output(run));
    EXPECT_EQ(run.output_error, 0);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "\x12\x34\x56");
}

} // namespace
