// paprel -> paperscan -> unpaprel: the exact payload (and the zero bytes
// that fill its last page) must come back through simulated print-and-scan
// channels and every PNG kind.  Where the channel damages bits, the
// decoder's report must show them corrected and no codeword irreparable.
#include "cli.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

namespace {

constexpr size_t page_payload = 199773;

enum expectation {
    no_damage, // "No bad bits!" on every page
    corrected, // bits corrected, none irreparable
    readable,  // whatever the damage, none irreparable
};

struct roundtrip_case {
    const char *name;
    size_t payload_bytes;
    std::vector<std::string> scan_options;
    expectation expect;
};

// Small sheet: the page at 2 scan pixels per page pixel, 3300 x 4700.
std::vector<std::string> small(std::vector<std::string> more)
{
    std::vector<std::string> args = {"--scale", "2", "--sheet", "3300x4700"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

const roundtrip_case cases[] = {
    // Full A4 sheets at 600 dpi.
    {"DefaultScanOfTwoPages", page_payload + 31337, {}, readable},
    {"SkewedKeystonedSixteenBitInterlaced",
     120000,
     {"--rotate", "1.5", "--perspective", "0.003", "--aspect", "1.004", "--kind", "grey16",
      "--gamma", "1.0", "--interlace"},
     readable},
    {"LetterSheetAt2point7Rgb",
     150000,
     {"--sheet", "letter", "--scale", "2.7", "--kind", "rgb"},
     readable},
    {"DustHairsAndAScratchAreCorrected",
     180000,
     {"--dust", "2", "--hairs", "3", "--scratches", "1"},
     corrected},
    {"NoiseAndUnevenLightAreCorrected",
     90000,
     {"--noise", "0.05", "--illumination", "0.3"},
     corrected},
    // Smaller sheets for the kinds and single effects.
    {"CleanChannelHasNoBadBits", 5000,
     small({"--noise", "0", "--dust", "0", "--illumination", "0"}), no_damage},
    {"PaletteInterlaced", 60000, small({"--kind", "palette", "--interlace"}), readable},
    {"LineArtOneBit", 60000, small({"--kind", "grey1"}), readable},
    {"GreyWithGammaChunk", 60000, small({"--gamma", "0.454545", "--seed", "3"}), readable},
    {"BlurDotGainAndGreyLevels", 60000,
     small({"--blur", "0.4", "--dot-gain", "0.3", "--paper", "0.75", "--toner", "0.1"}), readable},
};

// Names the case in test listings instead of dumping its bytes.
void PrintTo(const roundtrip_case &c, std::ostream *os)
{
    *os << c.name;
}

class Roundtrip : public ::testing::TestWithParam<roundtrip_case> {
protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }
    std::string dir;
};

// Per page: corrected bits (Golay lines 1 to 3) and irreparable codewords.
struct page_report {
    unsigned long corrected = 0, irreparable = 0;
};

// The count on the Golay statistics line that starts at `from` with `label`.
unsigned long golay_count(const std::string &err, size_t from, const std::string &label)
{
    size_t at = err.find(label, from);
    return at == std::string::npos ? 0 : std::stoul(err.substr(at + label.size()));
}

std::vector<page_report> golay_reports(const std::string &err)
{
    std::vector<page_report> pages;
    const std::string title = "Golay stats\n===========\n";
    for (size_t at = err.find(title); at != std::string::npos; at = err.find(title, at + 1)) {
        page_report r;
        r.corrected = golay_count(err, at, "\n1 bad bit ") +
                      2 * golay_count(err, at, "\n2 bad bits ") +
                      3 * golay_count(err, at, "\n3 bad bits ");
        r.irreparable = golay_count(err, at, "\n4 bad bits ");
        pages.push_back(r);
    }
    return pages;
}

TEST_P(Roundtrip, ThePayloadComesBackExactly)
{
    const roundtrip_case &c = GetParam();
    const size_t pages = (c.payload_bytes + page_payload - 1) / page_payload;
    const std::string payload = random_bytes(c.payload_bytes, 77);
    write_file(dir + "/payload.bin", payload);
    command_result encoded = run_command({PAPREL_BIN, dir + "/payload.bin", dir + "/page"});
    ASSERT_EQ(encoded.status, 0) << encoded.err;

    std::vector<std::string> scan = {PAPERSCAN_BIN};
    scan.insert(scan.end(), c.scan_options.begin(), c.scan_options.end());
    scan.push_back(dir + "/scan");
    for (size_t p = 1; p <= pages; p++) {
        char name[32];
        snprintf(name, sizeof name, "/page_%04zu.pgm", p);
        scan.push_back(dir + name);
    }
    command_result scanned = run_command(scan);
    ASSERT_EQ(scanned.status, 0) << scanned.err;

    command_options in_dir;
    in_dir.dir = dir;
    in_dir.stdout_path = dir + "/decoded.bin";
    command_result decoded =
        run_command({UNPAPREL_BIN, "0-65-93-24-3-1-2-24", dir + "/scan"}, in_dir);
    EXPECT_EQ(decoded.status, 0) << decoded.err.substr(0, 2000);
    std::string expected = payload + std::string(pages * page_payload - payload.size(), '\0');
    EXPECT_TRUE(read_file(dir + "/decoded.bin") == expected) << "payload differs";

    std::vector<page_report> reports = golay_reports(decoded.err);
    ASSERT_EQ(reports.size(), pages);
    size_t clean_pages = 0;
    for (size_t p = 0; p < pages; p++) {
        EXPECT_EQ(reports[p].irreparable, 0u) << "page " << p + 1;
        if (c.expect == corrected) {
            EXPECT_GT(reports[p].corrected, 0u) << "page " << p + 1;
        }
        clean_pages += reports[p].corrected == 0;
    }
    if (c.expect == no_damage) {
        EXPECT_EQ(clean_pages, pages);
        EXPECT_NE(decoded.err.find("No bad bits!\n"), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(PrintAndScan, Roundtrip, ::testing::ValuesIn(cases),
                         [](const ::testing::TestParamInfo<roundtrip_case> &tested) {
                             return std::string(tested.param.name);
                         });

} // namespace
