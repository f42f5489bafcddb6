// pgm_read.cpp - reads a PGM page from paprel and checks that it is one.
//
// paprel writes "P5\n1546 2242\n255\n" and the pixels, but any binary PGM of
// the right size is a page: the header may use other whitespace and carry
// comments.  Everything else is refused with a message that says why,
// because a wrong size or depth would otherwise give a scan that is quietly
// not of the format.
#include "pgm_read.h"

#include "page_format.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Skips whitespace and comments; false at the end of the file.
bool skip_blank(FILE *file)
{
    int c = fgetc(file);
    for (;;) {
        if (c == '#') {
            while (c != '\n' && c != '\r' && c != EOF)
                c = fgetc(file);
        } else if (c != ' ' && c != '\t' && c != '\n' && c != '\r' && c != '\v' && c != '\f') {
            break;
        }
        c = fgetc(file);
    }
    if (c == EOF)
        return false;
    ungetc(c, file);
    return true;
}

// A decimal header number, at most 7 digits so it cannot overflow.
bool read_number(FILE *file, uint32_t *value)
{
    if (!skip_blank(file))
        return false;
    uint32_t v = 0;
    int digits = 0;
    int c = fgetc(file);
    while (c >= '0' && c <= '9' && digits < 8) {
        v = v * 10 + (uint32_t)(c - '0');
        digits++;
        c = fgetc(file);
    }
    if (digits == 0 || digits > 7)
        return false;
    if (c != EOF)
        ungetc(c, file);
    *value = v;
    return true;
}

// Checks magic, size and depth; leaves the stream at the first pixel.
bool read_header(FILE *file, const char *path)
{
    char magic[2] = {0, 0};
    if (fread(magic, 1, 2, file) != 2 || magic[0] != 'P' || magic[1] != '5') {
        fprintf(stderr, "paperscan: %s is not a binary PGM file (no P5 header)\n", path);
        return false;
    }
    uint32_t width = 0, height = 0, maxval = 0;
    int separator = 0;
    if (!read_number(file, &width) || !read_number(file, &height) ||
        !read_number(file, &maxval) || (separator = fgetc(file)) == EOF ||
        strchr(" \t\n\r\v\f", separator) == nullptr) {
        fprintf(stderr, "paperscan: %s has a malformed PGM header\n", path);
        return false;
    }
    if (width != page_width || height != page_height) {
        fprintf(stderr, "paperscan: %s is %u x %u pixels, a page is %u x %u\n", path, width,
                height, page_width, page_height);
        return false;
    }
    if (maxval != 255) {
        fprintf(stderr, "paperscan: %s has maxval %u, a page has 255\n", path, maxval);
        return false;
    }
    return true;
}

} // namespace

uint8_t *read_page(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        fprintf(stderr, "paperscan: cannot open %s: %s\n", path, strerror(errno));
        return nullptr;
    }
    uint8_t *pixels = nullptr;
    if (read_header(file, path)) {
        pixels = (uint8_t *)malloc(page_pixels);
        if (!pixels) {
            fprintf(stderr, "paperscan: cannot allocate %u bytes for a page\n", page_pixels);
        } else {
            size_t got = fread(pixels, 1, page_pixels, file);
            if (got != page_pixels) {
                fprintf(stderr, "paperscan: %s is truncated: %zu of %u pixel bytes\n", path, got,
                        page_pixels);
                free(pixels);
                pixels = nullptr;
            }
        }
    }
    fclose(file);
    return pixels;
}
