// Dot rows of page pixels: cell sizes, the compensated black square, the
// threshold and the padding of the last byte, as literal bit patterns.
#include "page_raster.h"

#include "page_format.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct raster_fixture {
    page_raster raster;
    std::vector<unsigned char> row = std::vector<unsigned char>(page_width, 255);

    raster_fixture(uint32_t dots, uint32_t gain) { EXPECT_TRUE(raster_begin(&raster, dots, gain)); }
    ~raster_fixture() { raster_end(&raster); }
};

TEST(PageRaster, WholeCellsWithoutCompensation)
{
    raster_fixture f(3, 0);
    EXPECT_EQ(f.raster.row_bytes, 580u); // 4638 dots
    // black, white, black, black, white, white, ...
    f.row[0] = 0;
    f.row[2] = 0;
    f.row[3] = 0;
    render_band(&f.raster, f.row.data());
    // dots 000 111 00|0 000 111 1|...
    EXPECT_EQ(f.raster.band[0], 0x1C);
    EXPECT_EQ(f.raster.band[1], 0x0F);
    EXPECT_EQ(f.raster.band[2], 0xFF);
    for (uint32_t dot_row = 0; dot_row < 3; dot_row++)
        EXPECT_EQ(cell_row(f.raster, dot_row), f.raster.band);
}

TEST(PageRaster, CompensatedSquareSitsInsideItsCell)
{
    // 1200 dpi, 6 dots per pixel, gain 1: 5 x 5 black dots, the sixth
    // column and row of the cell white.
    raster_fixture one(6, 1);
    one.row[0] = 0;
    one.row[1] = 0;
    render_band(&one.raster, one.row.data());
    // dots 00000 1 00|000 1 1111
    EXPECT_EQ(one.raster.band[0], 0x04);
    EXPECT_EQ(one.raster.band[1], 0x1F);
    EXPECT_EQ(square_start(one.raster), 0u);
    EXPECT_EQ(square_end(one.raster), 5u);
    for (uint32_t dot_row = 0; dot_row < 5; dot_row++)
        EXPECT_EQ(cell_row(one.raster, dot_row), one.raster.band);
    EXPECT_EQ(cell_row(one.raster, 5), one.raster.white);
    EXPECT_EQ(one.raster.white[0], 0xFF);

    // Gain 3 of 6: dots 1 to 3 black, one white dot before, two after.
    raster_fixture three(6, 3);
    three.row[1] = 0;
    render_band(&three.raster, three.row.data());
    // dots 111111 10|00 11 1111
    EXPECT_EQ(three.raster.band[0], 0xFE);
    EXPECT_EQ(three.raster.band[1], 0x3F);
    EXPECT_EQ(cell_row(three.raster, 0), three.raster.white);
    EXPECT_EQ(cell_row(three.raster, 1), three.raster.band);
    EXPECT_EQ(cell_row(three.raster, 3), three.raster.band);
    EXPECT_EQ(cell_row(three.raster, 4), three.raster.white);
}

TEST(PageRaster, ThresholdAndLastBytePadding)
{
    raster_fixture f(3, 0);
    f.row[0] = 127; // black
    f.row[1] = 128; // white
    f.row[page_width - 1] = 0;
    render_band(&f.raster, f.row.data());
    EXPECT_EQ(f.raster.band[0], 0x1F);
    // dots 4632..4639: white pixel 1544, black pixel 1545, two padding dots
    // that stay white.
    EXPECT_EQ(f.raster.band[579], 0xE3);
}

} // namespace
