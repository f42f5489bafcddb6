// pgm_read.cpp - reads a PGM page from paprel and checks that it is one.
//
// The reading and checking is pgm_file.h's; this file opens the page,
// allocates its pixels and says what is wrong with a file that is not a
// page, because a wrong size or depth would otherwise give a scan that is
// quietly not of the format.
#include "pgm_read.h"

#include "page_format.h"
#include "pgm_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Prints what `status` (not pgm_ok) means for page `path`.
void report(pgm_status status, const char *path, const pgm_header &h, size_t pixels_read)
{
    switch (status) {
    case pgm_ok:
        break;
    case pgm_not_p5:
        fprintf(stderr, "paperscan: %s is not a binary PGM file (no P5 header)\n", path);
        break;
    // A number too long to read is a header no page tool writes.
    case pgm_bad_header:
    case pgm_side_too_large:
    case pgm_maxval_too_large:
        fprintf(stderr, "paperscan: %s has a malformed PGM header\n", path);
        break;
    case pgm_size_not_allowed:
        fprintf(stderr, "paperscan: %s is %u x %u pixels, a page is %u x %u\n", path, h.width,
                h.height, page_width, page_height);
        break;
    case pgm_maxval_not_255:
        fprintf(stderr, "paperscan: %s has maxval %u, a page has 255\n", path, h.maxval);
        break;
    case pgm_truncated:
    case pgm_read_error:
        fprintf(stderr, "paperscan: %s is truncated: %zu of %u pixel bytes\n", path, pixels_read,
                page_pixels);
        break;
    case pgm_trailing_data:
        fprintf(stderr, "paperscan: %s has more data after the page's pixels\n", path);
        break;
    }
}

// Reads the pixels after a checked header; null after a message.
uint8_t *read_pixels(FILE *file, const char *path, const pgm_header &header)
{
    uint8_t *pixels = (uint8_t *)malloc(page_pixels);
    if (!pixels) {
        fprintf(stderr, "paperscan: cannot allocate %u bytes for a page\n", page_pixels);
        return nullptr;
    }
    size_t got = 0;
    pgm_status status = pgm_read_pixels(file, header, pixels, &got);
    if (status != pgm_ok) {
        report(status, path, header, got);
        free(pixels);
        pixels = nullptr;
    }
    return pixels;
}

} // namespace

uint8_t *read_page(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "paperscan: cannot open %s: %s\n", path, strerror(errno));
        return nullptr;
    }
    pgm_header header;
    pgm_status status = pgm_read_header(file, pgm_exact_size(page_width, page_height), &header);
    uint8_t *pixels = nullptr;
    if (status == pgm_ok)
        pixels = read_pixels(file, path, header);
    else
        report(status, path, header, 0);
    fclose(file);
    return pixels;
}
