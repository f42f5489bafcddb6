// pgm_page.cpp - the page files through pgm_file.h, with sheetprint's
// description of every way a file can fail to be a page.
#include "pgm_page.h"

#include "page_format.h"
#include "pgm_file.h"

namespace {

// By pgm_status.  A side or maxval too large to read is just another wrong
// size or depth to the user.
const char *const problems[] = {
    nullptr,
    "not a binary PGM file (it does not start with P5)",
    "damaged PGM header",
    "not a paprel page: the size is not 1546 x 2242 pixels",
    "not a paprel page: the size is not 1546 x 2242 pixels",
    "not a paprel page: the maximum grey value is not 255",
    "not a paprel page: the maximum grey value is not 255",
    "the file ends before the last pixel",
    "more data follows the page's pixels",
    "read error",
};
static_assert(sizeof problems / sizeof problems[0] == pgm_read_error + 1, "one text per status");

} // namespace

const char *read_pgm_header(FILE *file)
{
    pgm_header header;
    return problems[pgm_read_header(file, pgm_exact_size(page_width, page_height), &header)];
}

const char *read_pgm_page(FILE *file, unsigned char *pixels)
{
    pgm_header header;
    pgm_status status = pgm_read_header(file, pgm_exact_size(page_width, page_height), &header);
    if (status == pgm_ok)
        status = pgm_read_pixels(file, header, pixels, nullptr);
    return problems[status];
}
