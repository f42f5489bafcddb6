// print_document.h - the print job and the two document writers.
//
// A print job is everything decided on the command line: the paper, the
// printer resolution, the dots per page pixel, the toner spread
// compensation, the bitmap's place on the sheet and the page files.  The
// writers read the page files one at a time into the job's pixel buffer,
// expand each into printer dots and write one page of the document per
// file to the open output (sheet_output.h).
#ifndef SHEETPRINT_PRINT_DOCUMENT_H
#define SHEETPRINT_PRINT_DOCUMENT_H

#include "page_raster.h"
#include "sheet_layout.h"
#include "text_sheets.h"

#include <cstdint>

struct print_job {
    const paper_size *paper = nullptr;
    uint32_t dpi = 600;
    uint32_t dots = 3;
    uint32_t gain = 0;
    sheet_layout layout{};
    char *const *page_files = nullptr; // from the command line
    uint32_t page_count = 0;
    unsigned char *pixels = nullptr; // page_pixels bytes, owned by main
    page_raster raster;              // set up by main for dots and gain
    // The cover and the format's description, whole sheets of lines that
    // come before the pages; null or empty for none.
    const text_lines *text = nullptr;
};

// The text sheets of the job, 0 without any.
uint32_t text_sheet_count(const print_job &job);

// Reads page file `path` into job.pixels; a file that cannot be read or is
// not a paprel page ends the program.
void load_page(const print_job &job, const char *path);

// Compresses the bitmap of the page in job.pixels into `stream` (already
// begun), row by row from the top.
struct flate_stream;
void deflate_page(print_job *job, flate_stream *stream);

// The scale from points to printer dots, 72 / dpi, as a number for the page
// description; exact for every resolution whose quotient terminates.
void format_dot_scale(uint32_t dpi, char *text, size_t size);

// A short note under the page on how to print it, with its baseline and
// left end in points; false when there is no room for it below the page.
struct caption {
    char text[160]; // already escaped for a PostScript or PDF string
    double x, y;
    double size; // font size in points
};
bool make_caption(const print_job &job, caption *note);

void write_postscript(print_job *job);
void write_pdf(print_job *job);

#endif
