// pgm_file.cpp - reads and checks binary PGM headers and pixels, and writes
// them, by the rule set out in pgm_file.h.
//
// Reads the header a character at a time through getc (the stream buffers
// it), the pixels in one fread; writes through fprintf and fwrite.
#include "pgm_file.h"

#include <cstdint>

namespace {

enum number_result { number_ok, number_bad, number_too_large };

// The PGM whitespace; not isspace(), whose set depends on the locale.
bool is_pgm_space(int c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Skips whitespace and comments between header fields; returns the first
// character after them, EOF at the end of the file.
int skip_separators(FILE *file)
{
    int c = getc(file);
    for (;;) {
        if (c == '#') {
            while (c != '\n' && c != '\r' && c != EOF)
                c = getc(file);
        } else if (!is_pgm_space(c)) {
            return c;
        }
        c = getc(file);
    }
}

// One header number and the whitespace character that ends it.  The value
// stops growing once it passes pgm_max_number, so that it cannot overflow
// however many digits follow.
number_result read_number(FILE *file, uint32_t *value)
{
    int c = skip_separators(file);
    if (c < '0' || c > '9')
        return number_bad;
    uint32_t n = 0;
    for (; c >= '0' && c <= '9'; c = getc(file))
        if (n <= pgm_max_number)
            n = n * 10 + (uint32_t)(c - '0');
    if (!is_pgm_space(c))
        return number_bad;
    *value = n;
    return n > pgm_max_number ? number_too_large : number_ok;
}

bool size_allowed(const pgm_header &h, const pgm_size_range &allowed)
{
    return h.width > 0 && h.height > 0 && h.width >= allowed.min_width &&
           h.width <= allowed.max_width && h.height >= allowed.min_height &&
           h.height <= allowed.max_height && (uint64_t)h.width * h.height <= SIZE_MAX;
}

} // namespace

pgm_status pgm_read_header(FILE *file, const pgm_size_range &allowed, pgm_header *header)
{
    *header = pgm_header{};
    if (getc(file) != 'P' || getc(file) != '5')
        return pgm_not_p5;
    // All three numbers are read before any is judged: a damaged header is
    // reported as such even when its size is wrong as well.
    uint32_t numbers[3] = {0, 0, 0};
    bool too_large[3] = {false, false, false};
    for (int i = 0; i < 3; i++) {
        number_result r = read_number(file, &numbers[i]);
        if (r == number_bad)
            return pgm_bad_header;
        too_large[i] = r == number_too_large;
    }
    if (too_large[0] || too_large[1])
        return pgm_side_too_large;
    header->width = numbers[0];
    header->height = numbers[1];
    if (!size_allowed(*header, allowed))
        return pgm_size_not_allowed;
    if (too_large[2])
        return pgm_maxval_too_large;
    header->maxval = numbers[2];
    return header->maxval == 255 ? pgm_ok : pgm_maxval_not_255;
}

pgm_status pgm_read_pixels(FILE *file, const pgm_header &header, uint8_t *pixels,
                           size_t *pixels_read)
{
    const size_t count = (size_t)header.width * header.height;
    const size_t got = fread(pixels, 1, count, file);
    if (pixels_read)
        *pixels_read = got;
    if (got != count)
        return ferror(file) ? pgm_read_error : pgm_truncated;
    if (getc(file) != EOF)
        return pgm_trailing_data;
    return ferror(file) ? pgm_read_error : pgm_ok;
}

bool pgm_write(FILE *file, uint32_t width, uint32_t height, const uint8_t *pixels)
{
    const size_t count = (size_t)width * height;
    if (fprintf(file, "P5\n%u %u\n255\n", width, height) < 0)
        return false;
    if (count > 0 && fwrite(pixels, count, 1, file) != 1)
        return false;
    // The flush is where a short file shows when the last bytes were only
    // buffered; a stream that failed earlier stays failed.
    return fflush(file) == 0 && !ferror(file);
}
