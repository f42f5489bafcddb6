// The PGM rule of pgm_file.h: which headers are read, the status of each
// way a file breaks it, the caller's size range, the end of the file, and
// the writer's header and its failures.
#include "pgm_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <string>
#include <vector>

namespace {

// A stream holding `bytes`, at its start.
FILE *stream_of(const std::string &bytes)
{
    FILE *file = tmpfile();
    EXPECT_NE(file, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), file);
    rewind(file);
    return file;
}

const pgm_size_range up_to_100 = {1, 100, 1, 100};

struct header_result {
    pgm_status status;
    pgm_header header;
    int next; // the character after the header, EOF if none
};

header_result read_header(const std::string &bytes, const pgm_size_range &allowed = up_to_100)
{
    FILE *file = stream_of(bytes);
    header_result r{};
    r.status = pgm_read_header(file, allowed, &r.header);
    r.next = getc(file);
    fclose(file);
    return r;
}

TEST(PgmFile, EveryHeaderSpellingThePgmFormatAllowsIsRead)
{
    const char *headers[] = {
        "P5\n3 2\n255\n",
        "P5 3 2 255 ",
        "P5#comment\n  3 \n2 # rows\n255\t",
        "P5\r\n# a comment ended by CR\r3\v2\f255\r",
        "P5\n0003 000002\n0255\n",
        "P5\n#\n#second\n3 2 255\n",
        "P53\n2\n255\n", // nothing need separate the magic from the width
    };
    for (const char *text : headers) {
        header_result r = read_header(std::string(text) + "*");
        EXPECT_EQ(r.status, pgm_ok) << text;
        EXPECT_EQ(r.header.width, 3u) << text;
        EXPECT_EQ(r.header.height, 2u) << text;
        EXPECT_EQ(r.header.maxval, 255u) << text;
        EXPECT_EQ(r.next, '*') << "exactly one whitespace character ends the header: " << text;
    }
}

TEST(PgmFile, EachWayAHeaderBreaksTheRuleHasItsStatus)
{
    const struct {
        std::string bytes;
        pgm_status status;
    } cases[] = {
        {"", pgm_not_p5},
        {"P", pgm_not_p5},
        {"P2\n3 2\n255\n", pgm_not_p5},
        {"P6\n3 2\n255\n", pgm_not_p5},
        {" P5\n3 2\n255\n", pgm_not_p5},
        {"P5", pgm_bad_header},
        {"P5\n3 2\n255", pgm_bad_header},
        {"P5\n3 x 2\n255\n", pgm_bad_header},
        {"P5\n3 -2\n255\n", pgm_bad_header},
        {"P5\n3#c\n2 255\n", pgm_bad_header},
        {"P5\n3 2\n255#c\n", pgm_bad_header},
        {"P5\n3 2 # no maxval\n", pgm_bad_header},
        {"P5\n99999999999999999999 2 255\n", pgm_side_too_large},
        {"P5\n3 10000000 255\n", pgm_side_too_large},
        {"P5\n99999999999999999999 2 x\n", pgm_bad_header},
        {"P5\n9999999 2 255\n", pgm_size_not_allowed},
        {"P5\n0 2 255\n", pgm_size_not_allowed},
        {"P5\n101 2 255\n", pgm_size_not_allowed},
        {"P5\n3 101 99999999999\n", pgm_size_not_allowed},
        {"P5\n3 2 10000000\n", pgm_maxval_too_large},
        {"P5\n3 2 65535\n", pgm_maxval_not_255},
        {"P5\n3 2 0\n", pgm_maxval_not_255},
    };
    for (const auto &c : cases)
        EXPECT_EQ(read_header(c.bytes).status, c.status) << c.bytes;
}

TEST(PgmFile, TheSizeRangeIsTheCallersAndTheHeaderShowsWhatWasRead)
{
    header_result wrong_size = read_header("P5\n102 7 65535\n");
    EXPECT_EQ(wrong_size.status, pgm_size_not_allowed);
    EXPECT_EQ(wrong_size.header.width, 102u);
    EXPECT_EQ(wrong_size.header.height, 7u);
    header_result wrong_depth = read_header("P5\n3 2 65535\n");
    EXPECT_EQ(wrong_depth.header.maxval, 65535u);
    EXPECT_EQ(wrong_depth.header.width, 3u);

    const pgm_size_range exact = pgm_exact_size(1546, 2242);
    EXPECT_EQ(read_header("P5\n1546 2242\n255\n", exact).status, pgm_ok);
    for (const char *other :
         {"P5\n2242 1546\n255\n", "P5\n1546 2241\n255\n", "P5\n1547 2242\n255\n"})
        EXPECT_EQ(read_header(other, exact).status, pgm_size_not_allowed) << other;
    // A side of 0 is refused even by a range that starts at 0.
    EXPECT_EQ(read_header("P5\n0 5 255\n", {0, 10, 0, 10}).status, pgm_size_not_allowed);
    EXPECT_EQ(read_header("P5\n10 1 255\n", {0, 10, 0, 10}).status, pgm_ok);
}

struct pixels_result {
    pgm_status status;
    std::vector<uint8_t> pixels;
    size_t read;
};

pixels_result read_image(const std::string &bytes)
{
    FILE *file = stream_of(bytes);
    pixels_result r{pgm_ok, std::vector<uint8_t>(6, 0xAA), 99};
    pgm_header header;
    r.status = pgm_read_header(file, up_to_100, &header);
    if (r.status == pgm_ok)
        r.status = pgm_read_pixels(file, header, r.pixels.data(), &r.read);
    fclose(file);
    return r;
}

TEST(PgmFile, ThePixelsAreAllOfTheRestOfTheFile)
{
    const std::string header = "P5\n3 2\n255\n", pixels("\x00\x10\x20\x30\xfe\xff", 6);
    pixels_result whole = read_image(header + pixels);
    EXPECT_EQ(whole.status, pgm_ok);
    EXPECT_EQ(std::string(whole.pixels.begin(), whole.pixels.end()), pixels);
    EXPECT_EQ(whole.read, 6u);

    pixels_result cut = read_image(header + pixels.substr(0, 4));
    EXPECT_EQ(cut.status, pgm_truncated);
    EXPECT_EQ(cut.read, 4u);
    EXPECT_EQ(read_image(header).status, pgm_truncated);
    EXPECT_EQ(read_image(header + pixels + "\n").status, pgm_trailing_data);
    EXPECT_EQ(read_image(header + pixels + header + pixels).status, pgm_trailing_data);
}

TEST(PgmFile, AStreamThatCannotBeReadIsAReadErrorOnlyAmongThePixels)
{
    // A stream open for writing only fails every read.
    FILE *write_only = fopen("/dev/null", "wb");
    ASSERT_NE(write_only, nullptr);
    pgm_header header;
    EXPECT_EQ(pgm_read_header(write_only, up_to_100, &header), pgm_not_p5);
    header.width = 3, header.height = 2, header.maxval = 255;
    uint8_t pixels[6];
    size_t read = 99;
    EXPECT_EQ(pgm_read_pixels(write_only, header, pixels, &read), pgm_read_error);
    EXPECT_EQ(read, 0u);
    fclose(write_only);
}

TEST(PgmFile, TheWriterWritesWhatTheReaderReads)
{
    const uint8_t pixels[] = {0, 1, 2, 253, 254, 255};
    FILE *file = tmpfile();
    ASSERT_NE(file, nullptr);
    ASSERT_TRUE(pgm_write(file, 2, 3, pixels));
    rewind(file);
    char bytes[64];
    size_t size = fread(bytes, 1, sizeof bytes, file);
    EXPECT_EQ(std::string(bytes, size), "P5\n2 3\n255\n" + std::string((const char *)pixels, 6));
    rewind(file);
    pgm_header header;
    uint8_t back[6] = {};
    ASSERT_EQ(pgm_read_header(file, up_to_100, &header), pgm_ok);
    EXPECT_EQ(pgm_read_pixels(file, header, back, nullptr), pgm_ok);
    EXPECT_EQ(std::string((const char *)back, 6), std::string((const char *)pixels, 6));
    fclose(file);
}

TEST(PgmFile, EveryFailedWriteIsReportedWithItsError)
{
    // A page goes out in large writes; a tiny image stays in the stream's
    // buffer until the flush, which must fail just the same.
    std::vector<uint8_t> page(1546 * 2242, 255);
    for (uint32_t width : {1546u, 1u}) {
        FILE *full = fopen("/dev/full", "wb");
        ASSERT_NE(full, nullptr);
        errno = 0;
        EXPECT_FALSE(pgm_write(full, width, width == 1 ? 1 : 2242, page.data())) << width;
        EXPECT_EQ(errno, ENOSPC) << width;
        fclose(full);
    }
    FILE *read_only = fopen("/dev/null", "rb");
    ASSERT_NE(read_only, nullptr);
    EXPECT_FALSE(pgm_write(read_only, 1, 1, page.data()));
    fclose(read_only);
}

} // namespace
