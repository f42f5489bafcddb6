// unpaprel on bad input: broken, tiny, blank, cut-off and oversized scans,
// odd format strings, a payload reader that has gone away and debug images
// that cannot be written.  Each run has a deadline; none may hang or die by
// a signal it did not ask for, and each ends with one clear line and status
// 1 (or a normal end).  Cases the decoder and round-trip tests already cover
// (a missing first page, a GIF as a page, a full standard output, ...) are
// not repeated here.
#include "cli.h"
#include "guarded_run.h"
#include "png_writer.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <signal.h>
#include <sys/stat.h>

#include <string>

namespace {

const char format[] = "0-65-93-24-3-1-2-24";

size_t count(const std::string &text, const std::string &part)
{
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        n++;
    return n;
}

uint32_t big_endian_32(const std::string &png, size_t at)
{
    return (uint32_t)(uint8_t)png[at] << 24 | (uint32_t)(uint8_t)png[at + 1] << 16 |
           (uint32_t)(uint8_t)png[at + 2] << 8 | (uint8_t)png[at + 3];
}

void put_big_endian_32(std::string &png, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; i++)
        png[at + i] = (char)(value >> (24 - 8 * i));
}

// Offset of the length field of the first chunk of `type`.
size_t find_chunk(const std::string &png, const char *type)
{
    for (size_t at = 8; at + 12 <= png.size(); at += 12 + big_endian_32(png, at))
        if (png.compare(at + 4, 4, type) == 0)
            return at;
    ADD_FAILURE() << "no " << type << " chunk";
    return 0;
}

// Recomputes the checksum of the chunk at `at` after its data was changed.
void reseal_chunk(std::string &png, size_t at)
{
    uint32_t length = big_endian_32(png, at);
    uint32_t crc = (uint32_t)crc32(0, (const Bytef *)png.data() + at + 4, length + 4);
    put_big_endian_32(png, at + 8 + length, crc);
}

class unpaprel_bad_input : public ::testing::Test {
protected:
    void SetUp() override { chmod(dir.c_str(), 0755); }
    void TearDown() override { remove_tree(dir); }

    guarded_result run(const std::vector<std::string> &args, guarded_options options = {})
    {
        std::vector<std::string> argv = {UNPAPREL_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        if (options.dir.empty())
            options.dir = dir;
        return run_guarded(argv, options);
    }
    std::string framed_png()
    {
        EXPECT_TRUE(write_png(dir + "/framed.png", 40, 30, framed_scan()));
        return read_file(dir + "/framed.png");
    }
    std::string dir = make_temp_dir();
};

struct broken_file {
    const char *what;
    std::string bytes;
    const char *reason; // libpng's, after "cannot read PNG file scan_0001.png: "
};

TEST_F(unpaprel_bad_input, broken_page_files_end_the_run_with_one_line_naming_them)
{
    const std::string good = framed_png();
    const size_t idat = find_chunk(good, "IDAT"), iend = find_chunk(good, "IEND");
    const uint32_t idat_length = big_endian_32(good, idat);
    std::string bad_checksum = good, bad_deflate = good, depth_3 = good, zero_width = good,
                taller = good;
    bad_checksum[idat + 8 + idat_length] ^= 1;
    bad_deflate[idat + 8 + 2] ^= 0x7f; // the first deflate block header, resealed
    reseal_chunk(bad_deflate, idat);
    depth_3[24] = 3;
    reseal_chunk(depth_3, 8);
    put_big_endian_32(zero_width, 16, 0);
    reseal_chunk(zero_width, 8);
    put_big_endian_32(taller, 20, 31); // one row more than the data holds
    reseal_chunk(taller, 8);
    const broken_file files[] = {
        {"empty", "", "Read Error"},
        {"signature only", good.substr(0, 8), "Read Error"},
        {"cut in the header chunk", good.substr(0, 20), "Read Error"},
        {"cut in the image data", good.substr(0, idat + 8 + idat_length / 2), "Read Error"},
        {"no end chunk", good.substr(0, iend), "Read Error"},
        {"image data checksum wrong", bad_checksum, "IDAT: CRC error"},
        {"image data not deflate", bad_deflate, "IDAT: "},
        {"bit depth 3", depth_3, "Invalid IHDR data"},
        {"width 0", zero_width, "Invalid IHDR data"},
        {"fewer rows than declared", taller, "Not enough image data"},
    };
    for (const broken_file &f : files) {
        SCOPED_TRACE(f.what);
        write_file(dir + "/scan_0001.png", f.bytes);
        guarded_result r = run({format, "scan"});
        EXPECT_TRUE(ended_with(r, 1));
        EXPECT_EQ(r.out, "");
        std::string line = std::string("unpaprel: cannot read PNG file scan_0001.png: ") + f.reason;
        size_t at = r.err.rfind("unpaprel: ");
        ASSERT_NE(at, std::string::npos) << r.err;
        EXPECT_EQ(r.err.compare(at, line.size(), line), 0) << r.err.substr(at);
        EXPECT_TRUE(ends_with(r.err, "\n"));
        EXPECT_EQ(count(r.err, "unpaprel: "), 1u);
        EXPECT_FALSE(file_exists(dir + "/scan_0001_debug.pgm"));
        EXPECT_FALSE(file_exists(dir + "/failure_debug.pgm"));
    }
}

struct blank_page {
    const char *what;
    uint32_t width, height;
    std::vector<uint8_t> grey;
    std::string failure_image; // failure_debug.pgm: the page after dirt removal
};

// Pages without four dark corners go down the failure path.  The expected
// failure images are worked out by hand: black and white map to themselves
// through the display gamma, and in the 2 x 3 page the black top-left pixel
// is cut off from the page by paper on both sides, so it is erased as dirt.
TEST_F(unpaprel_bad_input, tiny_and_blank_pages_take_the_failure_path)
{
    const blank_page pages[] = {
        {"1 x 1 white", 1, 1, {255}, std::string("P5\n1 1\n255\n\xff", 12)},
        {"1 x 1 black", 1, 1, {0}, std::string("P5\n1 1\n255\n\x00", 12)},
        {"2 x 3",
         2,
         3,
         {0, 255, 255, 0, 0, 0},
         std::string("P5\n2 3\n255\n\xff\xff\xff\0\0\0", 17)},
        {"all black", 16, 12, std::vector<uint8_t>(192, 0),
         "P5\n16 12\n255\n" + std::string(192, '\0')},
        {"all white", 16, 12, std::vector<uint8_t>(192, 255),
         "P5\n16 12\n255\n" + std::string(192, '\xff')},
    };
    for (const blank_page &p : pages) {
        SCOPED_TRACE(p.what);
        remove((dir + "/failure_debug.pgm").c_str());
        ASSERT_TRUE(write_png(dir + "/scan_0001.png", p.width, p.height, p.grey));
        guarded_result r = run({format, "scan"});
        EXPECT_TRUE(ended_with(r, 1));
        EXPECT_EQ(r.out, "");
        EXPECT_TRUE(ends_with(r.err, "Searching for the corners.\n"
                                     "Error: cannot find upper left corner\n"
                                     "See failure_debug.pgm why.\n"))
            << r.err;
        EXPECT_EQ(read_file(dir + "/failure_debug.pgm"), p.failure_image);
        EXPECT_FALSE(file_exists(dir + "/scan_0001_debug.pgm"));
    }
}

// Within libpng's size limit, within a pixel limit raised for it, but
// beyond the memory the process may have.
// The sanitizers reserve far more address space than the limit allows.
TEST_F(unpaprel_bad_input, page_too_large_for_memory_ends_with_the_allocation_message)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "an address space limit cannot be set under AddressSanitizer";
#endif
    // A 1 x 1 file whose header is made to declare 100000 x 100000.
    ASSERT_TRUE(write_png(dir + "/small.png", 1, 1, {0}));
    std::string png = read_file(dir + "/small.png");
    put_big_endian_32(png, 16, 100000);
    put_big_endian_32(png, 20, 100000);
    reseal_chunk(png, 8);
    write_file(dir + "/scan_0001.png", png);
    guarded_options limited;
    limited.address_space_limit = 1L << 30;
    guarded_result r = run({"--max-pixels", "10000000000", format, "scan"}, limited);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(
        r.err, "Decoding PNG file scan_0001.png...\n"
               "Input 100000 x 100000 pixels, taking 20000 megabytes for 2 framebuffers.\n"
               "Cannot allocate framebuffers.\n"))
        << r.err;
}

// A real page, scanned at two input pixels per page pixel, with the right
// part of the sheet missing.  The paper inside the page touches the cut, so
// the dirt removal's fill from the image edges runs into the page, the
// print is left unconnected to the centre and is erased as dirt, frame and
// all: the run ends on the failure path, not with bytes passed off as the
// file.
TEST_F(unpaprel_bad_input, page_cut_off_at_the_right_edge_ends_on_the_failure_path)
{
    write_file(dir + "/in", random_bytes(3000, 11));
    guarded_options in_dir;
    in_dir.dir = dir;
    ASSERT_EQ(run_guarded({PAPREL_BIN, "in", "page"}, in_dir).status, 0);
    std::string page = read_file(dir + "/page_0001.pgm");
    ASSERT_EQ(page.size(), 17u + 1546 * 2242);
    const uint32_t margin = 16, kept = 1000; // page columns left in the scan
    const uint32_t width = 2 * kept + margin, height = 2 * 2242 + 2 * margin;
    std::vector<uint8_t> scan((size_t)width * height, 255);
    for (uint32_t y = 0; y < height - 2 * margin; y++)
        for (uint32_t x = 0; x < width - margin; x++)
            scan[(size_t)(y + margin) * width + x + margin] =
                (uint8_t)page[17 + (y / 2) * 1546 + x / 2];
    ASSERT_TRUE(write_png(dir + "/scan_0001.png", width, height, scan));
    guarded_result r = run({format, "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("Input 2016 x 4516 pixels"), std::string::npos);
    EXPECT_TRUE(ends_with(r.err, "Searching for the corners.\n"
                                 "Error: cannot find upper left corner\n"
                                 "See failure_debug.pgm why.\n"));
    EXPECT_EQ(read_file(dir + "/failure_debug.pgm").size(), 17u + 2016 * 4516);
}

// Standard output is a pipe nobody reads any more.  With SIGPIPE at its
// default the decoder dies of it at the first write, as any filter does;
// a caller that ignores SIGPIPE gets the write error as the last line.
TEST_F(unpaprel_bad_input, payload_into_a_closed_pipe)
{
    ASSERT_TRUE(write_png(dir + "/scan_0001.png", 40, 30, framed_scan()));
    guarded_options options;
    options.stdout_to_closed_pipe = true;
    guarded_result r = run({format, "scan"}, options);
    EXPECT_FALSE(r.timed_out);
    EXPECT_EQ(r.signal, SIGPIPE);

    options.ignore_sigpipe = true;
    r = run({format, "scan"}, options);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(r.err, "\nunpaprel: cannot write output: Broken pipe\n"))
        << r.err.substr(0, 2000);
    EXPECT_EQ(count(r.err, "unpaprel: "), 1u);
    EXPECT_FALSE(file_exists(dir + "/scan_0001_debug.pgm")) << "the page failed";
}

// The user nobody may read the scans but not write beside them: each debug
// image that cannot be created is a warning with the reason, and the run
// goes on to its normal end (here status 1, for the frame's unreadable
// bits); on the failure path the warning comes before the exit.
TEST_F(unpaprel_bad_input, debug_images_in_a_directory_without_write_permission)
{
    std::string ro = dir + "/ro";
    ASSERT_EQ(mkdir(ro.c_str(), 0755), 0);
    ASSERT_TRUE(write_png(ro + "/scan_0001.png", 40, 30, framed_scan()));
    ASSERT_TRUE(write_png(ro + "/blank_0001.png", 1, 1, {255}));
    ASSERT_EQ(chmod(ro.c_str(), 0555), 0);
    guarded_options nobody;
    nobody.as_nobody = true;
    nobody.stdout_path = "/dev/null";
    guarded_result r = run({format, "ro/scan"}, nobody);
    if (r.status == 125)
        GTEST_SKIP() << "cannot run as user nobody";
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_NE(r.err.find("Writing debug image into ro/scan_0001_debug.pgm.\n"
                         "Warning: cannot open dumpfile ro/scan_0001_debug.pgm: Permission denied\n"
                         "unpaprel: "),
              std::string::npos)
        << r.err.substr(r.err.size() > 500 ? r.err.size() - 500 : 0);
    EXPECT_TRUE(ends_with(r.err, " irreparable codewords, the payload is damaged\n"));

    nobody.dir = ro;
    r = run({format, "blank"}, nobody);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(r.err,
                          "See failure_debug.pgm why.\n"
                          "Warning: cannot open dumpfile failure_debug.pgm: Permission denied\n"))
        << r.err;
    EXPECT_FALSE(file_exists(ro + "/failure_debug.pgm"));
}

// Format strings the number parser makes something of.  A label height of
// 0 still describes a page (2218 rows) and the frame is decoded with it.
TEST_F(unpaprel_bad_input, odd_format_strings)
{
    guarded_result r = run({"", "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err.substr(0, 24), "Format: text height=24\nU");
    EXPECT_TRUE(
        ends_with(r.err, "unpaprel: cannot open scan_0001.png: No such file or directory\n"));

    // A minus sign wraps to the top of the unsigned range: refused.
    r = run({"0-65-93-24-3-1-2--5", "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err,
              "Format: text height=4294967291\nunpaprel: text height 4294967291 is out of range\n");

    // More digits than 32 bits hold: whatever is kept, the run ends cleanly.
    r = run({"0-65-93-24-3-1-2-99999999999999999999999", "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err.rfind("Format: text height=", 0), 0u);

    ASSERT_TRUE(write_png(dir + "/scan_0001.png", 40, 30, framed_scan()));
    guarded_options options;
    options.stdout_path = "/dev/null";
    r = run({"0-65-93-24-3-1-2-0", "scan"}, options);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err.substr(0, 23), "Format: text height=0\nU");
    EXPECT_NE(
        r.err.find("One bit is 0.0194049 horizontal pixels and 0.00991885 vertical pixels.\n"),
        std::string::npos);
    EXPECT_TRUE(ends_with(r.err, " irreparable codewords, the payload is damaged\n"));
}

} // namespace
