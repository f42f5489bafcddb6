// pgm_page.cpp - header parsing and validation of the PGM page files.
#include "pgm_page.h"

#include "page_format.h"

#include <cctype>
#include <cstdint>

namespace {

// Skips whitespace and comments (a '#' up to the end of its line) between
// header fields; returns the first character after them.
int skip_separators(FILE *file)
{
    int c = getc(file);
    for (;;) {
        if (c == '#') {
            while (c != '\n' && c != '\r' && c != EOF)
                c = getc(file);
        } else if (c == EOF || !isspace(c)) {
            return c;
        }
        c = getc(file);
    }
}

// Reads one decimal header number.  Numbers are capped so that an absurd
// header cannot overflow; anything that large is the wrong size anyway.
bool read_number(FILE *file, uint32_t *value)
{
    int c = skip_separators(file);
    if (c == EOF || !isdigit(c))
        return false;
    uint32_t n = 0;
    while (c != EOF && isdigit(c)) {
        if (n < 100000000)
            n = n * 10 + (uint32_t)(c - '0');
        c = getc(file);
    }
    *value = n;
    // Exactly one whitespace character ends the last field; the pixels follow.
    return c != EOF && isspace(c);
}

} // namespace

const char *read_pgm_header(FILE *file)
{
    if (getc(file) != 'P' || getc(file) != '5')
        return "not a binary PGM file (it does not start with P5)";
    uint32_t width, height, maxval;
    if (!read_number(file, &width) || !read_number(file, &height) || !read_number(file, &maxval))
        return "damaged PGM header";
    if (width != page_width || height != page_height)
        return "not a paprel page: the size is not 1546 x 2242 pixels";
    if (maxval != 255)
        return "not a paprel page: the maximum grey value is not 255";
    return nullptr;
}

const char *read_pgm_page(FILE *file, unsigned char *pixels)
{
    const char *problem = read_pgm_header(file);
    if (problem)
        return problem;
    if (fread(pixels, 1, page_pixels, file) != page_pixels)
        return ferror(file) ? "read error" : "the file ends before the last pixel";
    if (getc(file) != EOF)
        return "more data follows the page's pixels";
    if (ferror(file))
        return "read error";
    return nullptr;
}
