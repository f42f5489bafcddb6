// Reading paprel's pages: any valid binary PGM header of the page size, and
// a clear refusal of everything else.
#include "cli.h"
#include "page_format.h"
#include "pgm_read.h"
#include "stderr_capture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

class PgmRead : public ::testing::Test {
protected:
    void SetUp() override { dir = make_temp_dir(); }
    void TearDown() override { remove_tree(dir); }

    // Pixels whose value depends on the position, so an offset shows.
    static std::string pixels(size_t count)
    {
        std::string p(count, '\0');
        for (size_t i = 0; i < count; i++)
            p[i] = (char)(i * 7 % 251);
        return p;
    }

    // The message read_page gives for a file holding `data`; "" on success.
    std::string read_error(const std::string &data)
    {
        std::string path = dir + "/page.pgm";
        write_file(path, data);
        uint8_t *page = nullptr;
        std::string err = capture_stderr([&] { page = read_page(path.c_str()); });
        EXPECT_EQ(page == nullptr, !err.empty());
        free(page);
        return err;
    }

    std::string dir;
};

TEST_F(PgmRead, PaprelsHeaderAndAnyOtherValidSpellingGiveThePixels)
{
    const std::string body = pixels(page_pixels);
    for (const std::string &header :
         {std::string("P5\n1546 2242\n255\n"),
          std::string("P5 # made by hand\n1546\t2242 #size\n\n255\r")}) {
        std::string path = dir + "/page.pgm";
        write_file(path, header + body);
        uint8_t *page = read_page(path.c_str());
        ASSERT_NE(page, nullptr) << header;
        EXPECT_EQ(std::string((const char *)page, page_pixels), body);
        free(page);
    }
}

TEST_F(PgmRead, WhatIsNotAPageIsRefused)
{
    const std::string path = dir + "/page.pgm";
    const std::string body = pixels(page_pixels);
    EXPECT_EQ(read_error("P2\n1546 2242\n255\n" + body),
              "paperscan: " + path + " is not a binary PGM file (no P5 header)\n");
    EXPECT_EQ(read_error("P5\n2242 1546\n255\n" + body),
              "paperscan: " + path + " is 2242 x 1546 pixels, a page is 1546 x 2242\n");
    EXPECT_EQ(read_error("P5\n1546 2242\n65535\n" + body + body),
              "paperscan: " + path + " has maxval 65535, a page has 255\n");
    EXPECT_EQ(read_error("P5\n1546 2242\n255\n" + body.substr(0, 1000)),
              "paperscan: " + path + " is truncated: 1000 of 3466132 pixel bytes\n");
    EXPECT_EQ(read_error("P5\n15460000000 2242\n255\n" + body),
              "paperscan: " + path + " has a malformed PGM header\n");
    EXPECT_EQ(read_error("P5\n1546 2242\n255"),
              "paperscan: " + path + " has a malformed PGM header\n");
    EXPECT_EQ(read_error("P5\n1546 x\n255\n"),
              "paperscan: " + path + " has a malformed PGM header\n");
    EXPECT_EQ(read_error(""), "paperscan: " + path + " is not a binary PGM file (no P5 header)\n");
    EXPECT_EQ(read_error("P5\n1546 2242\n255\n" + body + "\n"),
              "paperscan: " + path + " has more data after the page's pixels\n");
}

TEST_F(PgmRead, AMissingFileIsNamedWithTheReason)
{
    std::string path = dir + "/missing.pgm";
    uint8_t *page = reinterpret_cast<uint8_t *>(1);
    std::string err = capture_stderr([&] { page = read_page(path.c_str()); });
    EXPECT_EQ(page, nullptr);
    EXPECT_EQ(err, "paperscan: cannot open " + path + ": No such file or directory\n");
}

} // namespace
