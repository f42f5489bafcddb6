// pgm_file.h - the one reader and writer of grey PGM images here.
//
// sheetprint and paperscan read paprel's pages with these functions, and
// the tests read and write their PGM files with them; each program turns
// the status into its own messages.  They read from and write to a FILE the
// caller opened, and never print.
//
// What is read as a PGM (binary "P5" with 8-bit samples, one image a file):
//   - the file starts with the two bytes "P5";
//   - then the width, the height and the maxval, in that order, each an
//     unsigned decimal number; before each number any run (even none) of
//     whitespace (space, tab, CR, LF, VT, FF) and comments, a comment
//     running from '#' to the next CR or LF;
//   - every number ends at exactly one whitespace character, which is read
//     with it: after the maxval that character is the last of the header and
//     the pixels follow, so a '#' straight after a digit is refused;
//   - a number above pgm_max_number (9999999) stops growing as it is read
//     and is refused, so that no sum or product of header numbers can
//     overflow (the largest image here, a 600-dpi scan, has sides below
//     20000); once all three are read, the width and height must fit
//     the caller's pgm_size_range, a side of 0 is never taken, and the
//     maxval must be 255;
//   - width x height bytes of pixels, rows from the top, and then the end
//     of the file: a second image or any other byte after the pixels is
//     refused.
// A read error inside the header counts as the end of the file there (a
// directory reads as an empty file); among the pixels or after them it is
// reported as pgm_read_error.
#ifndef PAGEFORMAT_PGM_FILE_H
#define PAGEFORMAT_PGM_FILE_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

enum pgm_status {
    pgm_ok,
    pgm_not_p5,           // the file does not start with "P5"
    pgm_bad_header,       // a number is missing, not decimal, or not ended by whitespace
    pgm_side_too_large,   // the width or height is above pgm_max_number
    pgm_size_not_allowed, // width and height read, but outside the caller's range
    pgm_maxval_too_large, // the maxval is above pgm_max_number
    pgm_maxval_not_255,   // the maxval read is another number
    pgm_truncated,        // the file ends before the last pixel
    pgm_trailing_data,    // something follows the last pixel
    pgm_read_error,       // the stream failed among or after the pixels
};

constexpr uint32_t pgm_max_number = 9999999;

struct pgm_header {
    uint32_t width = 0, height = 0, maxval = 0;
};

// The sizes a caller takes: each side within its bounds (both inclusive).
struct pgm_size_range {
    uint32_t min_width, max_width;
    uint32_t min_height, max_height;
};

// Exactly width x height, as the page readers want.
inline pgm_size_range pgm_exact_size(uint32_t width, uint32_t height)
{
    return {width, width, height, height};
}

// Reads and checks the header; on pgm_ok the file is at the first pixel.
// The header's fields are filled as far as they were read: width and height
// for pgm_size_not_allowed, all three for pgm_maxval_not_255.
pgm_status pgm_read_header(FILE *file, const pgm_size_range &allowed, pgm_header *header);

// Reads the width x height pixels of a header read by pgm_read_header into
// `pixels`, then checks that the file ends there.  *pixels_read (if not
// null) gets the number of pixel bytes read, which is short of the whole for
// pgm_truncated and may be for pgm_read_error.
pgm_status pgm_read_pixels(FILE *file, const pgm_header &header, uint8_t *pixels,
                           size_t *pixels_read);

// Writes the header "P5\n<width> <height>\n255\n" and the width x height
// pixels, then flushes the stream.  False when any write or the flush
// failed, with errno as the failing call left it; closing the file stays
// with the caller, who must check that too.
bool pgm_write(FILE *file, uint32_t width, uint32_t height, const uint8_t *pixels);

#endif
