// unpaprel's limits on what a scan may take and what the run may write:
// scans of more pixels than --max-pixels allows, a chunk that declares
// gigabytes, scans that are not regular files, debug images whose place
// holds a symbolic link or a full device, and libpng's own warnings.  Each
// file is made here, small, and each run has a memory limit and a deadline,
// so a limit that stops holding fails the test instead of the machine.
#include "cli.h"
#include "guarded_run.h"
#include "png_writer.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <string>

namespace {

const char format[] = "0-65-93-24-3-1-2-24";

// Far below the gigabytes a limit that fails would take, far above what a
// small scan needs.
constexpr long memory_limit = 256L << 20;

std::string big_endian_32(uint32_t value)
{
    std::string out(4, '\0');
    for (int i = 0; i < 4; i++)
        out[i] = (char)(value >> (24 - 8 * i));
    return out;
}

// A chunk of `type` holding `data`, declaring `length` bytes, with the
// checksum of what it holds.
std::string chunk(const char *type, const std::string &data, uint32_t length)
{
    const std::string body = type + data;
    const uint32_t crc = (uint32_t)crc32(0, (const Bytef *)body.data(), (uInt)body.size());
    return big_endian_32(length) + body + big_endian_32(crc);
}

std::string chunk(const char *type, const std::string &data)
{
    return chunk(type, data, (uint32_t)data.size());
}

// The signature and the header of an 8-bit grey PNG of the given sides.
std::string png_start(uint32_t width, uint32_t height)
{
    return std::string("\x89PNG\r\n\x1a\n", 8) +
           chunk("IHDR",
                 big_endian_32(width) + big_endian_32(height) + std::string("\x08\0\0\0\0", 5));
}

class unpaprel_limits : public ::testing::Test {
protected:
    void TearDown() override { remove_tree(dir); }

    guarded_result run(const std::vector<std::string> &args, int timeout_seconds = 20)
    {
        std::vector<std::string> argv = {UNPAPREL_BIN};
        argv.insert(argv.end(), args.begin(), args.end());
        guarded_options options;
        options.dir = dir;
        options.timeout_seconds = timeout_seconds;
        options.stdout_path = "/dev/null";
#if !defined(__SANITIZE_ADDRESS__)
        options.address_space_limit = memory_limit;
#endif
        return run_guarded(argv, options);
    }
    std::string dir = make_temp_dir();
};

// 65535 x 65535 fits libpng's side limit but is 4.3 G pixels: refused after
// the size line, before the frames, and without a failure image; the limit
// raised on the command line lets the same scan through to the frames.
TEST_F(unpaprel_limits, scan_of_more_pixels_than_the_limit_is_refused_before_loading)
{
    write_file(dir + "/scan_0001.png",
               png_start(65535, 65535) + chunk("IDAT", std::string(100, '\0')) + chunk("IEND", ""));
    guarded_result r = run({format, "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(r.err, "Input 65535 x 65535 pixels, taking 8589.67 megabytes for 2 "
                                 "framebuffers.\n"
                                 "unpaprel: scan_0001.png has 4294836225 pixels, more than the "
                                 "limit of 280000000 (--max-pixels raises it)\n"))
        << r.err;
    EXPECT_FALSE(file_exists(dir + "/failure_debug.pgm"));

    // One pixel above a limit set low, then exactly at it.
    ASSERT_TRUE(write_png(dir + "/scan_0001.png", 100, 50, std::vector<uint8_t>(5000, 0)));
    r = run({"--max-pixels", "4999", format, "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(r.err, "has 5000 pixels, more than the limit of 4999 (--max-pixels "
                                 "raises it)\n"))
        << r.err;
    r = run({format, "--max-pixels", "5000", "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(r.err, "Error: cannot find upper left corner\n"
                                 "See failure_debug.pgm why.\n"))
        << r.err;
    EXPECT_EQ(read_file(dir + "/failure_debug.pgm").size(), 14u + 5000);
}

TEST_F(unpaprel_limits, max_pixels_wants_a_positive_number)
{
    for (const char *value : {"0", "-5", "12x", "", "99999999999999999999999"}) {
        SCOPED_TRACE(value);
        guarded_result r = run({"--max-pixels", value, format, "scan"});
        EXPECT_TRUE(ended_with(r, 1));
        EXPECT_EQ(r.err.rfind(std::string("unpaprel: --max-pixels wants a positive whole number, "
                                          "not ") +
                                  value + "\n\nusage: unpaprel",
                              0),
                  0u)
            << r.err;
    }
    guarded_result r = run({format, "scan", "--max-pixels"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err.rfind("unpaprel: --max-pixels wants a positive whole number, not nothing\n", 0),
              0u);
}

// 97 bytes: a 1 x 1 header and a text chunk that declares 2^31 - 1 bytes.
// libpng would allocate and clear 2 GB for it before finding the file ends.
TEST_F(unpaprel_limits, chunk_declaring_gigabytes_is_refused_before_it_is_allocated)
{
    write_file(dir + "/scan_0001.png",
               png_start(1, 1) + chunk("tEXt", "Comment" + std::string(1, '\0') + "x", 0x7fffffff));
    guarded_result r = run({format, "scan"}, 5);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(
        r.err, "\nunpaprel: cannot read PNG file scan_0001.png: chunk data is too large\n"))
        << r.err;
}

// libpng drops a text chunk with a wrong checksum and an impossible gamma
// with a warning of its own; the scan is read all the same, and the
// report stays the decoder's.
TEST_F(unpaprel_limits, libpng_warnings_do_not_reach_standard_error)
{
    ASSERT_TRUE(write_png(dir + "/framed.png", 40, 30, framed_scan()));
    const std::string good = read_file(dir + "/framed.png");
    std::string text = chunk("tEXt", "Comment" + std::string(1, '\0') + "dust");
    text[text.size() - 1] ^= 1;
    const std::string odd =
        good.substr(0, 33) + text + chunk("gAMA", big_endian_32(1)) + good.substr(33);
    write_file(dir + "/scan_0001.png", odd);
    guarded_result r = run({format, "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_EQ(r.err.find("libpng"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("Input 40 x 30 pixels"), std::string::npos);
    EXPECT_TRUE(ends_with(r.err, " irreparable codewords, the payload is damaged\n")) << r.err;
}

// A FIFO without a writer would block open() for ever; a directory and a
// device are no scans either.  With --keep-going the page is lost.
TEST_F(unpaprel_limits, scans_that_are_not_regular_files_are_refused_at_once)
{
    ASSERT_EQ(mkfifo((dir + "/fifo_0001.png").c_str(), 0644), 0);
    ASSERT_EQ(mkdir((dir + "/dir_0001.png").c_str(), 0755), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir + "/dev_0001.png").c_str()), 0);
    const struct {
        const char *base, *kind;
    } cases[] = {{"fifo", "a FIFO"}, {"dir", "a directory"}, {"dev", "a character device"}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.base);
        guarded_result r = run({format, c.base}, 10);
        EXPECT_TRUE(ended_with(r, 1));
        EXPECT_TRUE(ends_with(r.err, std::string("\nunpaprel: ") + c.base + "_0001.png is " +
                                         c.kind + ", not a regular file\n"))
            << r.err;
    }
    guarded_result r = run({"--keep-going", format, "fifo"}, 10);
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_NE(r.err.find("unpaprel: fifo_0001.png is a FIFO, not a regular file\n"
                         "Page 1 is lost; writing it as 199773 zero bytes.\n"),
              std::string::npos)
        << r.err;
}

// A symbolic link where a debug image or failure_debug.pgm goes is not
// followed: the warning names it, the run goes on, the target is intact.
TEST_F(unpaprel_limits, debug_images_are_not_written_through_symbolic_links)
{
    write_file(dir + "/precious", "keep me");
    ASSERT_TRUE(write_png(dir + "/scan_0001.png", 40, 30, framed_scan()));
    ASSERT_TRUE(write_png(dir + "/blank_0001.png", 1, 1, {255}));
    ASSERT_EQ(symlink("precious", (dir + "/scan_0001_debug.pgm").c_str()), 0);
    ASSERT_EQ(symlink("precious", (dir + "/failure_debug.pgm").c_str()), 0);
    guarded_result r = run({format, "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_NE(r.err.find("Warning: cannot open dumpfile scan_0001_debug.pgm: Too many levels of "
                         "symbolic links\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(ends_with(r.err, " irreparable codewords, the payload is damaged\n"));
    r = run({format, "blank"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_TRUE(ends_with(r.err, "See failure_debug.pgm why.\n"
                                 "Warning: cannot open dumpfile failure_debug.pgm: Too many "
                                 "levels of symbolic links\n"))
        << r.err;
    EXPECT_EQ(read_file(dir + "/precious"), "keep me");
}

// A debug image that cannot be written whole (here the full device itself
// in its place, as root can make it) is a warning; the run's status is
// what the page alone gives.
TEST_F(unpaprel_limits, debug_image_on_a_full_disk_is_a_warning)
{
    if (mknod((dir + "/scan_0001_debug.pgm").c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a full device here";
    ASSERT_TRUE(write_png(dir + "/scan_0001.png", 40, 30, framed_scan()));
    guarded_result r = run({format, "scan"});
    EXPECT_TRUE(ended_with(r, 1));
    EXPECT_NE(r.err.find("Writing debug image into scan_0001_debug.pgm.\n"
                         "Warning: cannot write dumpfile scan_0001_debug.pgm: No space left on "
                         "device\n"),
              std::string::npos)
        << r.err;
    EXPECT_TRUE(ends_with(r.err, " irreparable codewords, the payload is damaged\n"));
}

} // namespace
