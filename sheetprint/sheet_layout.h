// sheet_layout.h - where a paprel page lands on the printed sheet.
//
// The page is drawn as a bitmap at the printer's own resolution: every page
// pixel becomes a square of `dots` x `dots` printer dots, so nothing between
// the document and the paper needs to scale or interpolate.  This module
// turns a paper size, a printer resolution and the dots per page pixel into
// the bitmap's size and its offset on the sheet, both in printer dots, and
// decides whether the page fits inside the margins that printers cannot
// reach.  It reads and writes no files; print_misfit only formats a message.
#ifndef SHEETPRINT_SHEET_LAYOUT_H
#define SHEETPRINT_SHEET_LAYOUT_H

#include <cstdint>
#include <cstdio>

struct paper_size {
    const char *name;  // as given on the command line
    const char *media; // as printer descriptions name it
    uint32_t width_pt; // PostScript points of 1/72 in
    uint32_t height_pt;
};

// Null when the name is not a paper that sheetprint knows; A4 and a4 are
// one paper.
const paper_size *find_paper(const char *name);

// Most printers leave this much blank along every edge of the sheet.
constexpr double printer_margin_mm = 5.0;

// Limits on the command-line figures; beyond them the bitmap of one page
// would not fit any sheet anyway.
constexpr uint32_t min_dpi = 72;
constexpr uint32_t max_dpi = 9600;
constexpr uint32_t max_dots = 64;

struct sheet_layout {
    uint32_t image_width;  // bitmap width in printer dots
    uint32_t image_height; // bitmap height in printer dots
    int64_t left;          // dots from the sheet's left edge to the bitmap
    int64_t bottom;        // dots from the sheet's bottom edge to the bitmap
    bool fits;             // inside the printer margins on every side
};

// dpi and dots must lie within the limits above.
sheet_layout compute_layout(const paper_size &paper, uint32_t dpi, uint32_t dots);

// The most dots per page pixel that still fit at this resolution, 0 if even
// one dot per pixel is too large.
uint32_t largest_fitting_dots(const paper_size &paper, uint32_t dpi);

// Explains on `stream` why the page does not fit and lists the resolutions
// and dots per pixel that would.
void print_misfit(FILE *stream, const paper_size &paper, uint32_t dpi, uint32_t dots);

#endif
