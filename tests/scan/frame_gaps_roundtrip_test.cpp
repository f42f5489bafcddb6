// paprel -> paperscan -> unpaprel on pages whose frame is cut:
// white lines one page pixel wide along a column and along a row, straight
// and turned, on a straight and on a skewed page, and scratches and hairs
// at several seeds, among them the eight seeds of one scratch at -1.2
// degrees (5 of which lost the page before gaps were closed).  Each must give
// back the exact payload with exit status 0; where the frame is cut, the
// dirt line must say that the gap was closed.  At 2 scan pixels per page
// pixel on a small sheet, so that a case takes a second or two.
#include "cli.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr size_t page_payload = 199773;

struct gap_case {
    const char *name;
    std::vector<std::string> scan_options;
    bool frame_cut; // the dirt line must report the closed gap
};

std::vector<std::string> small(std::vector<std::string> more)
{
    std::vector<std::string> args = {"--scale", "2", "--sheet", "3300x4700"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

std::vector<std::string> one_scratch(const char *seed)
{
    return small({"--scratches", "1", "--rotate", "-1.2", "--seed", seed});
}

const gap_case cases[] = {
    {"StreakAlongAColumn", small({"--streak", "column:0.3"}), true},
    {"StreakAlongARow", small({"--streak", "row:0.62"}), true},
    {"StreakAlongAColumnTurnedTwoDegrees", small({"--streak", "column:0.8:2"}), true},
    {"StreakAlongARowTurnedOneDegree", small({"--streak", "row:0.15:-1"}), true},
    {"StreaksOnAPageSkewedOneAndAHalfDegrees",
     small({"--rotate", "1.5", "--streak", "column:0.55", "--streak", "row:0.3"}), true},
    {"StreakNearTheLeftEdge", small({"--streak", "column:0.02", "--rotate", "-0.7"}), true},
    {"TwoScratchesAndHairsSeed3", small({"--scratches", "2", "--hairs", "3", "--seed", "3"}),
     false},
    {"ThreeScratchesAndHairsSeed5", small({"--scratches", "3", "--hairs", "2", "--seed", "5"}),
     false},
    {"OneScratchSeed1", one_scratch("1"), true},
    {"OneScratchSeed2", one_scratch("2"), true},
    {"OneScratchSeed3", one_scratch("3"), true},
    {"OneScratchSeed4", one_scratch("4"), true},
    {"OneScratchSeed5", one_scratch("5"), false},
    {"OneScratchSeed6", one_scratch("6"), false},
    {"OneScratchSeed7", one_scratch("7"), true},
    {"OneScratchSeed8", one_scratch("8"), false},
};

void PrintTo(const gap_case &c, std::ostream *os)
{
    *os << c.name;
}

class FrameGaps : public ::testing::TestWithParam<gap_case> {
protected:
    temp_dir scratch;
    const std::string dir = scratch.path;
};

TEST_P(FrameGaps, ThePayloadComesBackExactly)
{
    const gap_case &c = GetParam();
    const std::string payload = random_bytes(page_payload, 91);
    write_file(dir + "/payload.bin", payload);
    ASSERT_EQ(run_command({PAPREL_BIN, dir + "/payload.bin", dir + "/page"}).status, 0);
    std::vector<std::string> scan = {PAPERSCAN_BIN};
    scan.insert(scan.end(), c.scan_options.begin(), c.scan_options.end());
    scan.insert(scan.end(), {dir + "/scan", dir + "/page_0001.pgm"});
    command_result scanned = run_command(scan);
    ASSERT_EQ(scanned.status, 0) << scanned.err;

    command_options in_dir;
    in_dir.dir = dir;
    in_dir.stdout_path = dir + "/decoded.bin";
    command_result decoded =
        run_command({UNPAPREL_BIN, "0-65-93-24-3-1-2-24", dir + "/scan"}, in_dir);
    EXPECT_EQ(decoded.status, 0) << decoded.err.substr(0, 3000);
    EXPECT_TRUE(read_file(dir + "/decoded.bin") == payload) << "payload differs";
    const bool closed =
        decoded.err.find("the white border runs into the page through a gap in the frame; with "
                         "gaps up to ") != std::string::npos;
    EXPECT_EQ(closed, c.frame_cut) << decoded.err.substr(0, 3000);
}

INSTANTIATE_TEST_SUITE_P(CutFrames, FrameGaps, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<gap_case> &tested) {
                             return std::string(tested.param.name);
                         });

} // namespace
