// page_raster.h - a page drawn as 1-bit rows of printer dots.
//
// Every page pixel covers a cell of `dots` x `dots` printer dots.  A white
// pixel leaves its cell white.  A black pixel blackens a square inside its
// cell that is `gain` dots narrower and shorter than the cell, so that toner
// which spreads by about gain / 2 dots on each side fills the cell and no
// more; gain 0 fills the whole cell.  The odd dot of an odd gain is taken
// from the right and bottom side.
//
// Rows are packed 8 dots to a byte, the leftmost dot in the high bit, 1 for
// white and 0 for black (the sample order of a DeviceGray image with 1 bit
// per component in both PostScript and PDF), each row padded with white to
// a whole byte.
#ifndef SHEETPRINT_PAGE_RASTER_H
#define SHEETPRINT_PAGE_RASTER_H

#include <cstddef>
#include <cstdint>

struct page_raster {
    uint32_t dots = 0;
    uint32_t gain = 0;
    uint32_t row_bytes = 0;         // bytes of one packed row of dots
    unsigned char *band = nullptr;  // row through the black squares, owned
    unsigned char *white = nullptr; // all-white row, owned
};

// Sets up the two row buffers for gain < dots; false when they cannot be
// allocated.  raster_end releases them.
bool raster_begin(page_raster *raster, uint32_t dots, uint32_t gain);
void raster_end(page_raster *raster);

// First and one past the last dot row (and column) of a cell that a black
// pixel blackens.
uint32_t square_start(const page_raster &raster);
uint32_t square_end(const page_raster &raster);

// Draws the band row of one page row (page_width grey pixels) into
// raster->band.
void render_band(page_raster *raster, const unsigned char *page_row);

// The packed dot row `dot_row` (0 .. dots - 1) within the cells of the page
// row last given to render_band.
const unsigned char *cell_row(const page_raster &raster, uint32_t dot_row);

#endif
