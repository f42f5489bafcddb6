// Documents rendered by Ghostscript at 600 dpi grey, as a scanner sees the
// printed sheet.  At the default 600 dpi and 3 dots per pixel every page
// pixel must come out as exactly 3 x 3 device pixels at the place worked out
// by hand, in PostScript and PDF alike; with compensation the black square
// shrinks inside its cell.  Once the decoder is built, the rendered sheet
// must decode to the exact payload.
#include "cli.h"
#include "page_format.h"
#include "print_fixture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

const std::string sheetprint = SHEETPRINT_BIN;

// A4 at 600 dpi: gs makes the sheet 4958 x 7017 pixels (595 and 842 points,
// rounded); the bitmap's lower-left corner sits 160 dots from the left and
// 145 dots from the bottom edge, so its top row is 7017 - 145 - 6726 = 146.
constexpr uint32_t sheet_width = 4958, sheet_height = 7017;
constexpr uint32_t bitmap_left = 160, bitmap_top = 146;
constexpr uint32_t bitmap_width = 4638, bitmap_height = 6726;

struct render_test : ::testing::Test {
    std::string gs = find_ghostscript();
    std::string dir;

    void SetUp() override
    {
        if (gs.empty())
            GTEST_SKIP() << "Ghostscript (gs) is not installed; install the ghostscript package";
        dir = make_temp_dir();
    }
    void TearDown() override
    {
        if (!dir.empty())
            remove_tree(dir);
    }

    grey_image print_and_render(const std::vector<std::string> &options, const std::string &name)
    {
        std::vector<std::string> args = {sheetprint, "-o", dir + "/" + name};
        args.insert(args.begin() + 1, options.begin(), options.end());
        args.push_back(dir + "/page_0001.pgm");
        command_result r = run_command(args);
        EXPECT_EQ(r.status, 0) << r.err;
        grey_image sheet;
        EXPECT_TRUE(render_sheets(gs, dir + "/" + name, dir + "/sheet.png"));
        EXPECT_TRUE(read_png(dir + "/sheet.png", &sheet));
        return sheet;
    }
};

// Compares every device pixel of the bitmap with its page pixel: black in
// dot rows and columns start .. end - 1 of a black pixel's cell, white
// elsewhere.  Reports the first few differences.
void expect_cells(const grey_image &sheet, const std::vector<unsigned char> &page, uint32_t start,
                  uint32_t end)
{
    ASSERT_EQ(sheet.width, sheet_width);
    ASSERT_EQ(sheet.height, sheet_height);
    int wrong = 0;
    for (uint32_t dy = 0; dy < bitmap_height && wrong < 5; dy++) {
        const unsigned char *row = &sheet.pixels[(size_t)(bitmap_top + dy) * sheet.width];
        for (uint32_t dx = 0; dx < bitmap_width; dx++) {
            bool black = page[(size_t)(dy / 3) * page_width + dx / 3] == 0;
            bool inside = dx % 3 >= start && dx % 3 < end && dy % 3 >= start && dy % 3 < end;
            unsigned char expected = black && inside ? 0 : 255;
            if (row[bitmap_left + dx] != expected && ++wrong <= 5)
                ADD_FAILURE() << "device pixel " << bitmap_left + dx << ", " << bitmap_top + dy
                              << " is " << (int)row[bitmap_left + dx] << ", expected "
                              << (int)expected;
        }
    }
}

// Everything beside and above the bitmap, and a one-pixel ring below it,
// is white paper; the caption lies further down.
void expect_white_around(const grey_image &sheet)
{
    int dark = 0;
    for (uint32_t y = 0; y <= bitmap_top + bitmap_height; y++)
        for (uint32_t x = 0; x < sheet.width; x++) {
            bool in_bitmap = y >= bitmap_top && y < bitmap_top + bitmap_height &&
                             x >= bitmap_left && x < bitmap_left + bitmap_width;
            if (!in_bitmap && sheet.pixels[(size_t)y * sheet.width + x] != 255 && ++dark <= 3)
                ADD_FAILURE() << "dark pixel outside the page at " << x << ", " << y;
        }
}

TEST_F(render_test, EveryPagePixelIsThreeByThreeDevicePixels)
{
    std::vector<unsigned char> page = write_random_page(dir + "/page_0001.pgm", 5);
    for (const char *name : {"doc.ps", "doc.pdf"}) {
        SCOPED_TRACE(name);
        grey_image sheet = print_and_render({}, name);
        expect_cells(sheet, page, 0, 3);
        expect_white_around(sheet);
        // The caption sits in the bottom margin, clear of the page.
        bool caption = false;
        for (size_t i = (size_t)(bitmap_top + bitmap_height + 10) * sheet.width;
             i < sheet.pixels.size(); i++)
            caption = caption || sheet.pixels[i] == 0;
        EXPECT_TRUE(caption);
    }
}

TEST_F(render_test, CompensationShrinksEveryBlackSquareInsideItsCell)
{
    std::vector<unsigned char> page = write_random_page(dir + "/page_0001.pgm", 6);
    for (const char *name : {"doc.ps", "doc.pdf"}) {
        SCOPED_TRACE(name);
        // 2 x 2 black dots of each 3 x 3 cell, the right column and bottom
        // row white.
        expect_cells(print_and_render({"-g", "1"}, name), page, 0, 2);
    }
}

// The cover is read by people, decades on, from whatever renders it: its
// length, checksum and commands must come out of a render as text, from the
// PDF as pdftotext reads it and from the PostScript through Ghostscript's
// text device.  A million 'a' has a known SHA-256 and takes 6 pages.
TEST_F(render_test, CoverTextSurvivesARender)
{
    const std::string file = dir + "/million.txt";
    write_file(file, std::string(1000000, 'a'));
    const std::string sha = "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0";
    const std::string pdftotext = find_program("pdftotext");
    if (pdftotext.empty())
        GTEST_SKIP() << "pdftotext is not installed; install poppler-utils";
    for (const char *name : {"cover.pdf", "cover.ps"}) {
        SCOPED_TRACE(name);
        const std::string document = dir + "/" + name;
        command_result r = run_command({sheetprint, "--cover", file, "-o", document});
        ASSERT_EQ(r.status, 0) << r.err;
        const bool pdf = name[6] == 'p' && name[7] == 'd';
        r = pdf ? run_command({pdftotext, "-layout", document, "-"})
                : run_command({gs, "-q", "-dSAFER", "-dBATCH", "-dNOPAUSE", "-sDEVICE=txtwrite",
                               "-sOutputFile=-", document});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> facts = {"1000000 bytes",
                                                "SHA-256: " + sha,
                                                "6, after this cover sheet",
                                                "head -c 1000000 restored.bin > million.txt",
                                                "sha256sum million.txt",
                                                "unpaprel 0-65-93-24-3-1-2-24 scan > restored.bin",
                                                "Golay (24,12,8)"};
        for (const std::string &expected : facts)
            EXPECT_NE(r.out.find(expected), std::string::npos) << expected << " in\n" << r.out;
        // The checksum a second time, as sha256sum prints it, on its own line.
        EXPECT_NE(r.out.find(sha, r.out.find("must print")), std::string::npos);
    }
}

#if defined(PAPREL_BIN) && defined(UNPAPREL_BIN)
TEST_F(render_test, PrintedSheetDecodesToThePayload)
{
    std::string payload = random_bytes(150000, 77);
    write_file(dir + "/payload.bin", payload);
    command_options in_dir;
    in_dir.dir = dir;
    ASSERT_EQ(run_command({PAPREL_BIN, "payload.bin", "page"}, in_dir).status, 0);
    for (const char *name : {"doc.ps", "doc.pdf"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(run_command({sheetprint, "-o", dir + "/" + name, dir + "/page_0001.pgm"}).status,
                  0);
        ASSERT_TRUE(render_sheets(gs, dir + "/" + name, dir + "/scan_%04d.png"));
        command_result r = run_command({UNPAPREL_BIN, "0-65-93-24-3-1-2-24", "scan"}, in_dir);
        EXPECT_EQ(r.status, 0) << r.err;
        // One page of payload: the file, then the zero bits of the unused rest.
        ASSERT_EQ(r.out.size(), payload_bytes_per_page);
        EXPECT_TRUE(r.out.compare(0, payload.size(), payload) == 0);
        EXPECT_EQ(r.out.find_first_not_of('\0', payload.size()), std::string::npos);
    }
}
#else
TEST_F(render_test, PrintedSheetDecodesToThePayload)
{
    GTEST_SKIP() << "paprel and unpaprel are not built yet";
}
#endif

} // namespace
