// text_sheets.h - sheets of plain text before the pages: the cover sheet
// and the page format's description.
//
// A text sheet is read by a person, not by the decoder: lines of at most
// text_columns characters of Courier at text_font_size points, the same on
// A4 and letter.  This module builds the lines (pure functions of what they
// are given, so the tests read them as literals), measures the file a cover
// describes, and escapes a line for a PostScript or PDF string.  The
// writers in postscript.cpp and pdf.cpp draw them.  Only measure_file reads
// a file; nothing here writes one.
#ifndef SHEETPRINT_TEXT_SHEETS_H
#define SHEETPRINT_TEXT_SHEETS_H

#include "sheet_layout.h"

#include <cstddef>
#include <cstdint>

// Courier is 0.6 em wide: 78 columns of 11 points take 515 points, which
// leaves at least 40 points on either side of an A4 sheet.  50 lines of
// 13.5 points leave a margin of 54 points above and more below on letter.
constexpr uint32_t text_columns = 78;
constexpr uint32_t lines_per_sheet = 50;
constexpr double text_font_size = 11;
constexpr double text_leading = 13.5;

// Lines of at most text_columns characters, printable ASCII only, in one
// growing allocation (malloc, so that running out of memory is a status).
struct text_lines {
    char (*line)[text_columns + 1] = nullptr;
    uint32_t count = 0;
    uint32_t capacity = 0;
};

void free_lines(text_lines *lines);
// Adds one line, cut at text_columns; false when memory runs out.
bool add_line(text_lines *lines, const char *text, size_t length);
// Adds a line wrapped at spaces to text_columns; continuation lines keep
// the line's own indent.  A word longer than a line is cut.
bool add_wrapped(text_lines *lines, const char *text, size_t length);
// Fills the last sheet up with empty lines, so the next line starts a sheet.
bool end_sheet(text_lines *lines);
uint32_t sheets_of(const text_lines &lines);

// What a restorer needs to know about the file on the pages.
struct cover_facts {
    const char *name = nullptr; // the file's name without its directories
    uint64_t length = 0;        // in bytes
    char sha256[65] = {};       // hex digits
    uint32_t pages = 0;         // as paprel counts them: at least one
    const char *base = "scan";  // of the scan files in the restore commands
};

// Opens `path`, counts and hashes its bytes and fills in name, length,
// sha256 and pages; false with errno set when the file cannot be read.
bool measure_file(const char *path, cover_facts *facts);

// The base of a page file named BASE_0001.pgm (any directories dropped),
// into `base`; false when the name has another form.
bool page_file_base(const char *path, char *base, size_t size);

// The cover sheet's lines, appended to `lines` and ended with end_sheet.
bool cover_lines(const cover_facts &facts, text_lines *lines);

// `size` bytes of Markdown as plain text lines: UTF-8 punctuation turned
// into ASCII, other non-ASCII characters into '?', long lines wrapped.
bool plain_text_lines(const char *text, size_t size, text_lines *lines);

// `line` as the inside of a PostScript or PDF string: ( ) and \ escaped.
// `out` holds at least 2 * text_columns + 1 bytes.
void escape_line(const char *line, char *out);

// The baseline of a sheet's first line and the left end of every line, in
// points from the lower-left corner; the block of lines is centred across.
void text_origin(const paper_size &paper, double *x, double *y);

// The description of the page format (docs/FORMAT.md), built into the
// program by CMake.
extern const char format_description[];
extern const size_t format_description_size;

#endif
