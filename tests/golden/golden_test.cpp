// Golden outputs of the whole chain: a fixed payload encoded by paprel,
// printed and scanned by paperscan with fixed settings and seeds, decoded by
// unpaprel.  The SHA-256 of every page, scan, debug image, of standard output
// and standard error, and the exit status were recorded once from a build
// before any speed work; a faster decoder or encoder must reproduce every
// one of them byte for byte.
//
// paprel's pages are part of the promise and must match.  The scans are not:
// paperscan is a tool that may still be tuned, so a scan whose hash differs
// skips the case with a message instead of blaming the decoder for an input
// it was never shown.
#include "cli.h"
#include "page_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

struct golden_case {
    const char *name;
    size_t payload_size;
    uint64_t payload_seed;
    std::vector<std::string> scan_options; // paperscan options before "scan" and the pages
    int status;                            // unpaprel's exit status
    std::vector<std::string> page_sha;     // paprel's pages
    std::vector<std::string> scan_sha;     // paperscan's scans
    std::string stdout_sha, stderr_sha;
    std::vector<std::string> debug_sha; // "<name> <hash>" of every debug image written
};

void PrintTo(const golden_case &c, std::ostream *os)
{
    *os << c.name;
}

// The payload is made here rather than by a shared helper, so that nothing
// outside this file can change what the hashes were recorded from.
std::string golden_payload(size_t size, uint64_t seed)
{
    std::string data(size, '\0');
    uint64_t state = seed;
    for (size_t i = 0; i < size; i++) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        data[i] = (char)(state >> 32);
    }
    return data;
}

std::string sha256_of(const std::string &path)
{
    command_result r = run_command({SHA256SUM_BIN, path});
    if (r.status != 0 || r.out.size() < 64)
        return "sha256sum failed: " + r.err;
    return r.out.substr(0, 64);
}

std::string numbered(const std::string &dir, const char *base, size_t page, const char *suffix)
{
    char name[64];
    snprintf(name, sizeof name, "/%s_%04zu%s", base, page, suffix);
    return dir + name;
}

std::vector<std::string> hashes_of(const std::string &dir, const char *base, size_t pages,
                                   const char *suffix)
{
    std::vector<std::string> hashes;
    for (size_t page = 1; page <= pages; page++)
        hashes.push_back(sha256_of(numbered(dir, base, page, suffix)));
    return hashes;
}

// The debug image of every scan, and failure_debug.pgm, that exists.
std::vector<std::string> debug_hashes(const std::string &dir, size_t pages)
{
    std::vector<std::string> names;
    for (size_t page = 1; page <= pages; page++)
        names.push_back(numbered("", "scan", page, "_debug.pgm").substr(1));
    names.push_back("failure_debug.pgm");
    std::vector<std::string> hashes;
    for (const std::string &name : names)
        if (file_exists(dir + "/" + name))
            hashes.push_back(name + " " + sha256_of(dir + "/" + name));
    return hashes;
}

// What one run produced, in the form of the table below, so that a case can
// be recorded again from a trusted build when paperscan changes.
std::string as_literal(const std::vector<std::string> &hashes)
{
    std::string text = "{";
    for (const std::string &h : hashes)
        text += (text.size() > 1 ? ",\n     \"" : "\"") + h + "\"";
    return text + "}";
}

void print_observed(const golden_case &c, const golden_case &seen)
{
    printf(
        "observed for %s:\n     %d,\n     %s,\n     %s,\n     \"%s\",\n     \"%s\",\n     %s},\n",
        c.name, seen.status, as_literal(seen.page_sha).c_str(), as_literal(seen.scan_sha).c_str(),
        seen.stdout_sha.c_str(), seen.stderr_sha.c_str(), as_literal(seen.debug_sha).c_str());
}

// Encodes the case's payload, scans the pages and decodes the scans in `dir`;
// returns what came out as a case record.  False when a program that should
// have succeeded failed.
bool run_chain(const golden_case &c, const std::string &dir, golden_case *seen)
{
    command_options here;
    here.dir = dir;
    write_file(dir + "/payload.bin", golden_payload(c.payload_size, c.payload_seed));
    command_result encoded = run_command({PAPREL_BIN, "payload.bin", "page"}, here);
    EXPECT_EQ(encoded.status, 0) << encoded.err;
    const size_t pages = c.page_sha.size();
    EXPECT_FALSE(file_exists(numbered(dir, "page", pages + 1, ".pgm")))
        << "more pages than recorded";
    seen->page_sha = hashes_of(dir, "page", pages, ".pgm");

    std::vector<std::string> scan_command = {PAPERSCAN_BIN};
    scan_command.insert(scan_command.end(), c.scan_options.begin(), c.scan_options.end());
    scan_command.push_back("scan");
    for (size_t page = 1; page <= pages; page++)
        scan_command.push_back(numbered(dir, "page", page, ".pgm"));
    command_result scanned = run_command(scan_command, here);
    EXPECT_EQ(scanned.status, 0) << scanned.err;
    seen->scan_sha = hashes_of(dir, "scan", pages, ".png");

    here.stdout_path = dir + "/payload.out";
    command_result decoded = run_command({UNPAPREL_BIN, "0-65-93-24-3-1-2-24", "scan"}, here);
    write_file(dir + "/payload.err", decoded.err);
    seen->status = decoded.status;
    seen->stdout_sha = sha256_of(here.stdout_path);
    // Independently of the hashes: a run that ends well gives back the
    // payload and the zero padding of its last page.
    if (decoded.status == 0) {
        std::string expected = golden_payload(c.payload_size, c.payload_seed);
        expected.resize(pages * payload_bytes_per_page, '\0');
        EXPECT_TRUE(read_file(here.stdout_path) == expected) << "payload not restored";
    }
    seen->stderr_sha = sha256_of(dir + "/payload.err");
    seen->debug_sha = debug_hashes(dir, pages);
    return encoded.status == 0 && scanned.status == 0;
}

class golden : public testing::TestWithParam<golden_case> {};

TEST_P(golden, every_output_matches_the_recorded_hashes)
{
    const golden_case &c = GetParam();
    temp_dir dir;
    golden_case seen = c;
    bool ran = run_chain(c, dir.path, &seen);
    bool same_input = seen.page_sha == c.page_sha && seen.scan_sha == c.scan_sha;
    bool same_output = seen.status == c.status && seen.stdout_sha == c.stdout_sha &&
                       seen.stderr_sha == c.stderr_sha && seen.debug_sha == c.debug_sha;
    if (!ran || !same_input || !same_output)
        print_observed(c, seen);
    ASSERT_TRUE(ran);
    // The pages are paprel's output and must not change; the scans are
    // paperscan's, which may.
    ASSERT_EQ(seen.page_sha, c.page_sha) << "paprel's pages changed";
    if (seen.scan_sha != c.scan_sha)
        GTEST_SKIP() << "paperscan now makes different scans from the same settings and seed; "
                        "the decoder's golden outputs cannot be checked against them";
    EXPECT_EQ(seen.status, c.status);
    EXPECT_EQ(seen.stdout_sha, c.stdout_sha) << "standard output";
    EXPECT_EQ(seen.stderr_sha, c.stderr_sha) << "standard error";
    EXPECT_EQ(seen.debug_sha, c.debug_sha) << "debug images";
}

std::string case_name(const testing::TestParamInfo<golden_case> &info)
{
    return info.param.name;
}

// One page holds 199773 payload bytes.  Each case aims at one kind of scan:
// the clean one decodes without a bad bit, the skewed, blurred, noisy and
// low-resolution ones with corrected bits only, the noisier one with
// irreparable codewords and exit status 1; the two-page one has dirt to
// erase, 16-bit interlaced PNGs with a gAMA chunk and a rotation the other
// way.  In the wrecked one (hairs and scratches that also bend the corners)
// and the broken frame, scratches join the page to the white margin: the
// dirt removal closes those gaps in the frame and both decode whole.  (They
// were recorded when the dirt removal erased the print beyond such a gap,
// which cost the wrecked page irreparable codewords and the broken frame
// its corner; that loss of data was mended.)
// One case to a block, as the test prints a case whose outputs differ.
// clang-format off
const golden_case golden_cases[] = {
    {"clean", 199773, 0x1234567887654321,
     {"--scale", "3", "--noise", "0", "--dust", "0", "--illumination", "0", "--sheet", "4800x6900"},
     0,
     {"e6985fff0630a571301fac2e1324a2941986a685acdc8c85bfecc82470a065bb"},
     {"284bb73462f331a4f24261bd4d195f842a856d679f4c311bcc9c25b8a378a184"},
     "e03ed1243a71619dcbd97bf8a1a30c852bf35f4312e387524cb8e2cd1a6af935",
     "afb66b040ddbd54da5b9f41e38dcad95df3040e68248beeebdaeaaaafd54c37d",
     {"scan_0001_debug.pgm 641e85744d8cb53d27e9dfccdaa1d680e6990ee33f10ef3794fe8ddd14228e18"}},
    {"skewed", 199773, 0x0f1e2d3c4b5a6978,
     {"--scale", "2.5", "--rotate", "0.4", "--aspect", "1.003", "--sheet", "4100x5900"},
     0,
     {"7089343652f15326229232599cd5f43a53a4f1cf8a9f5b452ccdda5275608842"},
     {"5e8de636b433bd6db85452b5bab1ec63ba68da5738c364492e63917dd8c845f6"},
     "f879ca2e43a3abf478b76e2bb4751bc0cb015cd39db8929a8530087efa2cfd34",
     "08ae160c9db6ca6b3d36b9ad685d592fdb5360fbfd9a35b4df2fce9a525cb80d",
     {"scan_0001_debug.pgm 8f20cd9d9f473b630b7beab82a97742ae836b61918dbbb452102636d816b4f27"}},
    {"blurred", 199773, 0x5555aaaa3333cccc,
     {"--scale", "2.5", "--blur", "0.45", "--sheet", "4100x5900"},
     0,
     {"33ea02cd2d16d4afdef6abc99199f255dc88eb913e231b52ed02befbd3e8a388"},
     {"6f6b909c01d320b802158886f3c9f6d04dd2914a6a4ea4703a1477dff48152f1"},
     "ba40815df9b68c6d27f559a079b8f6c02c4cc0e3f0a82c41c87a3ba3bc0b0b16",
     "94f10e3cc74a2148cc94a1cf9471571a184de04c4bf3e26ea734eece1fc2744b",
     {"scan_0001_debug.pgm e55bb4eb5a336b7d24b333819888e033a7dfc689207e8f1ca0a77e3bba50c34a"}},
    {"noisy", 199773, 0x0123456789abcdef,
     {"--scale", "2.2", "--noise", "0.05", "--dust", "30", "--sheet", "3600x5100"},
     0,
     {"9c53e63ee2518df1e17262f9c48fed484c9a7e5680beb4c08140521c02a89707"},
     {"30f1918537e5c229fc78c022892a8b3ca9802802bc275a84fe2d35f4a15c3684"},
     "7d69950bdccbb6221f62d89ad58e0960c5979d7efa6054cbbdc9e3e3149111c1",
     "a354615962232f86508b5b62bd07008ea066956b5c67882d150df00a923800c2",
     {"scan_0001_debug.pgm 9d983b3b06f78dddfa0e20c8c39156a5a6c80fa1aff5688cb1a614db6e9339f7"}},
    {"low_resolution", 199773, 0x7777000011112222,
     {"--scale", "1.6", "--noise", "0.005", "--sheet", "2700x3800"},
     0,
     {"2251527554a3af6a886db90a46d7f7d368fa009e7ed9fbcc98e34de493c20df5"},
     {"f9682728e188c48cf31151d480305a4c646b53656ae1edc27f532b52c89a5e99"},
     "3895de9438504dfa2e1751dc980a8e4ac84bf1f9686c0171fadbfbe5f8ee1dc5",
     "19627bc580fa2c0b22299a9af969587291a02da289d8fc0a190197a9a18648e7",
     {"scan_0001_debug.pgm c0f69dde7fced9e8abda6ad5694f4e35af3340fd8995a8bfd3f07f4d8aa232f5"}},
    {"irreparable", 199773, 0xfedcba9876543210,
     {"--scale", "2.2", "--noise", "0.08", "--dust", "30", "--rotate", "-0.3", "--sheet", "3600x5100"},
     1,
     {"168f5fb373e5a4591ed97924f50388caf85418cf483d6c2fe1797c3f576ef71f"},
     {"dc7e81b53f55b53090e21f5bba07eb07d2b3dbc3be96e959e5a63cd69a510d51"},
     "09a167a01eacade39d05297a9cb0cbe23359fb7f5fec0c40ab307a174d77cf35",
     "b10f708f1e4849cf4545d440019f2d8e0248d108fad0243352138e4fb9966fca",
     {"scan_0001_debug.pgm e63f1ee8f800ade5c1ad0e3e918293cd58f937e4c4d4d2189cd4d1a92a0703b7"}},
    {"wrecked", 199773, 0x1111222233334444,
     {"--scale", "2", "--scratches", "3", "--scratch-width", "8", "--hairs", "2", "--sheet", "3300x4700"},
     0,
     {"ac6010591365de049f5f27eb3a3236907c1d3df873e0a62159d2424eed0ed927"},
     {"9305c1f81acffff7db65f07ba932347f3e82b71da07d2eb45e0725c70e229796"},
     "72d0077b30bf0ed93b200f6c17009c8f72c4337740a09ca28ca6f1d1a5cd218d",
     "0551e3d58649c5c068c1164365544c658cb0e03f1710407fba30c317d2473c04",
     {"scan_0001_debug.pgm 2b5073d1ac5c22bab59a1412e03c5be8f9b2068053e5d26fb95c59fd3f4e321b"}},
    {"two_pages", 300000, 0x9999888877776666,
     {"--scale", "2", "--dust", "10", "--rotate", "-0.2", "--kind", "grey16", "--gamma", "0.5",
      "--interlace", "--seed", "7", "--sheet", "3300x4700"},
     0,
     {"88023211e4d43dd698ca21decb0182309199a0dfdb9a814011a7ecb78001720c",
     "20562261431de9b62564788b11159ba36fce524b8874b4ee277dcda63e62e49a"},
     {"db1988daea01e0ff5145535354eae30f93cb369127a22b12545dd5d9e29315f9",
     "3bf63aba34fb409e255315aff6c56e6836ad8b0b666b54ce265faa8fdeded7d2"},
     "104870c083b7202f1c5c86c25f77fcee2d06f3afb0040ba431c76a988e0f4cf9",
     "8f6d570c1c40316cf23981d15c68ec5f8a80171db7d46330eeffe2937b7fa4fb",
     {"scan_0001_debug.pgm 813305d173b98ae1080949f877b2b641bc26c8444a49a6e68ed25869e57753e0",
     "scan_0002_debug.pgm d9046c3ddea3bed57b782ce8069ad06551a91ee22c0f8cc70ce8b5b7909488c4"}},
    {"broken_frame", 199773, 0x9999888877776666,
     {"--scale", "2", "--scratches", "2", "--scratch-width", "5", "--rotate", "-0.2", "--seed", "7",
      "--sheet", "3300x4700"},
     0,
     {"2080a1181061a9030ceb17517aa20001b45e2e6ff2db3b2fc9d219ca0f7a4106"},
     {"ecd173f14f8eb82c85424fee2904a030b444581cc51e5a4963ce8fe22d501f73"},
     "f4089af81a6e49af398ec0ef55809ac9ddc668d1181fa65c5d91b64334f582c3",
     "9d928baff2b779955be01ff45fb475e038c4e0f5ec6bd2fe04ecb2465a7b44cb",
     {"scan_0001_debug.pgm 3cfde2a8b96e544c157a153251e01b6fc659eb98a043a97d7813087044c2de2a"}},
};
// clang-format on

INSTANTIATE_TEST_SUITE_P(scans, golden, testing::ValuesIn(golden_cases), case_name);

} // namespace
