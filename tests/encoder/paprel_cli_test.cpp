// The real paprel program: its command line, its messages byte for byte,
// and its page files read back independently of the writer.
#include "cli.h"
#include "page_check.h"
#include "page_format.h"
#include "paprel_usage.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const char pgm_header[] = "P5\n1546 2242\n255\n";

struct paprel_cli : ::testing::Test {
    std::string dir;
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }

    command_result run(std::vector<std::string> args, long size_limit = -1)
    {
        args.insert(args.begin(), PAPREL_BIN);
        command_options options;
        options.dir = dir;
        options.file_size_limit = size_limit;
        return run_command(args, options);
    }

    // Names of the files in the temp dir other than the input.
    bool only_input_left()
    {
        command_result ls = run_command({"/bin/ls", "-A", dir});
        return ls.out == "" || ls.out == "in\n";
    }

    // Reads a page file, checking its size and header; pixels start at 17.
    std::string page(const std::string &name)
    {
        std::string data = read_file(dir + "/" + name);
        EXPECT_EQ(data.size(), 3466149u) << name;
        EXPECT_EQ(data.substr(0, pgm_header_size), pgm_header) << name;
        data.resize(3466149);
        return data;
    }
};

const uint8_t *pixels_of(const std::string &page_file)
{
    return (const uint8_t *)page_file.data() + pgm_header_size;
}

TEST_F(paprel_cli, UsageWithoutArguments)
{
    command_result result = run({});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, paprel_usage_text);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(only_input_left());
}

TEST_F(paprel_cli, EmptyInputGetsOnePageAnnouncedAsZero)
{
    write_file(dir + "/in", "");
    command_result result = run({"in"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out + result.err, "");
    std::string file = page("paprel_out_0001.pgm");
    EXPECT_FALSE(file_exists(dir + "/paprel_out_0002.pgm"));
    EXPECT_EQ(read_label(pixels_of(file)), label_cells("  0-65-93-24-3-1-2-24 1/0 "));
    std::string payload;
    ASSERT_TRUE(read_payload({pixels_of(file)}, &payload));
    EXPECT_EQ(payload, std::string(199773, '\0')) << "every channel bit white";
    // Frame corners and the first cross, as bytes of the file.
    EXPECT_EQ((uint8_t)file[17], 0);
    EXPECT_EQ((uint8_t)file[17 + 1546 * 2 + 2], 0) << "cross at page (2, 2)";
    EXPECT_EQ((uint8_t)file[17 + 1546 * 2 + 5], 255) << "its white quadrant";
    EXPECT_EQ((uint8_t)file[17 + 1546 * 2 + 8], 255) << "first channel bit";
    EXPECT_EQ((uint8_t)file.back(), 0);
}

TEST_F(paprel_cli, OneByte)
{
    write_file(dir + "/in", "\xFF");
    ASSERT_EQ(run({"in"}).status, 0);
    std::string file = page("paprel_out_0001.pgm");
    EXPECT_EQ(read_label(pixels_of(file)), label_cells("  0-65-93-24-3-1-2-24 1/1 "));
    EXPECT_EQ(read_codeword(pixels_of(file), 0), 0xFF05DBu);
    std::string payload;
    ASSERT_TRUE(read_payload({pixels_of(file)}, &payload));
    EXPECT_EQ(payload, "\xFF" + std::string(199772, '\0'));
}

// 199773 bytes fill one page exactly; one byte more needs a second page.
TEST_F(paprel_cli, FullPageAndOneByteMore)
{
    std::string data = random_bytes(199774, 7);
    write_file(dir + "/in", data.substr(0, 199773));
    ASSERT_EQ(run({"in", "full"}).status, 0);
    EXPECT_FALSE(file_exists(dir + "/full_0002.pgm"));
    std::string file = page("full_0001.pgm");
    EXPECT_EQ(read_label(pixels_of(file)), label_cells("  0-65-93-24-3-1-2-24 1/1 full"));
    std::string payload;
    ASSERT_TRUE(read_payload({pixels_of(file)}, &payload));
    EXPECT_TRUE(payload == data.substr(0, 199773)) << "payload differs";

    write_file(dir + "/in", data);
    ASSERT_EQ(run({"in", "more"}).status, 0);
    EXPECT_FALSE(file_exists(dir + "/more_0003.pgm"));
    std::string first = page("more_0001.pgm"), second = page("more_0002.pgm");
    EXPECT_EQ(read_label(pixels_of(first)), label_cells("  0-65-93-24-3-1-2-24 1/2 more"));
    EXPECT_EQ(read_label(pixels_of(second)), label_cells("  0-65-93-24-3-1-2-24 2/2 more"));
    ASSERT_TRUE(read_payload({pixels_of(first), pixels_of(second)}, &payload));
    EXPECT_TRUE(payload == data + std::string(199772, '\0')) << "payload differs";
    // The last byte's 8 bits and 4 closing zeros make codeword 0 of page 2.
    uint32_t last = (uint8_t)data.back();
    EXPECT_EQ(read_codeword(pixels_of(second), 0), golay_encode(last << 4));
}

TEST_F(paprel_cli, BaseNameAndIgnoredThirdArgument)
{
    write_file(dir + "/in", "doc");
    ASSERT_EQ(run({"in", "doc"}).status, 0);
    std::string plain = page("doc_0001.pgm");
    EXPECT_EQ(read_label(pixels_of(plain)), label_cells("  0-65-93-24-3-1-2-24 1/1 doc"));
    command_result result = run({"in", "doc", "extra", "more"});
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "paprel: warning: ignoring 2 arguments after the base: extra more\n");
    EXPECT_TRUE(page("doc_0001.pgm") == plain);
    EXPECT_FALSE(file_exists(dir + "/paprel_out_0001.pgm"));
}

TEST_F(paprel_cli, InputThatCannotBeUsed)
{
    command_result result = run({"missing"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "paprel: cannot open input file missing: No such file or directory\n");
    EXPECT_EQ(result.out, "");

    // A directory opens; it must fail at the seek or the first read, before
    // any page file is made.
    ASSERT_EQ(mkdir((dir + "/folder").c_str(), 0755), 0);
    result = run({"folder"});
    EXPECT_EQ(result.status, 1);
    const std::string hint = "paprel: to keep a directory, make one file of it first: tar -cf - "
                             "folder | xz > folder.tar.xz\n";
    EXPECT_TRUE(result.err == "paprel: cannot read input file folder: Is a directory\n" + hint ||
                result.err.rfind("paprel: cannot seek to the end of folder: ", 0) == 0)
        << result.err;
    EXPECT_FALSE(file_exists(dir + "/paprel_out_0001.pgm"));
}

TEST_F(paprel_cli, PageFileThatCannotBeWritten)
{
    write_file(dir + "/in", "x");
    command_result result = run({"in", "nodir/doc"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "paprel: cannot open nodir/doc_0001.pgm for writing.\n");

    // File size limits: early in the pixel block, and one byte short.
    for (long limit : {1000L, 3466148L}) {
        result = run({"in"}, limit);
        EXPECT_EQ(result.status, 1) << limit;
        EXPECT_EQ(result.err, "paprel: cannot write paprel_out_0001.pgm: File too large\n")
            << limit;
    }
    result = run({"in"}, 3466149L);
    EXPECT_EQ(result.status, 0) << "a page fits its exact size";
    EXPECT_EQ(result.err, "");
}

// A page that cannot be created in the middle of the run, when the bit
// writer turns to it: the same one line and status, and the pages before
// it stay whole with their payload.
TEST_F(paprel_cli, LaterPageThatCannotBeCreated)
{
    std::string data = random_bytes(2 * 199773 + 5, 11);
    write_file(dir + "/in", data);
    ASSERT_EQ(mkdir((dir + "/doc_0003.pgm").c_str(), 0755), 0);
    command_result result = run({"in", "doc"});
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err, "paprel: cannot open doc_0003.pgm for writing.\n");
    EXPECT_EQ(result.out, "");
    std::string first = page("doc_0001.pgm"), second = page("doc_0002.pgm");
    EXPECT_EQ(read_label(pixels_of(second)), label_cells("  0-65-93-24-3-1-2-24 2/3 doc"));
    std::string payload;
    ASSERT_TRUE(read_payload({pixels_of(first), pixels_of(second)}, &payload));
    EXPECT_TRUE(payload == data.substr(0, 2 * 199773)) << "payload differs";
}

} // namespace
