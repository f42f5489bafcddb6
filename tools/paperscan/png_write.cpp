// png_write.cpp - encodes the sheet and writes it through libpng.
//
// Reads the linear sheet; writes one PNG file.  The samples are encoded with
// the same gamma the reader will undo: a reader that takes 0.454545 when no
// gAMA chunk is present raises each sample to 1 / 0.454545, so writing
// reflectance^0.454545 gives it back the linear reflectance.  Rows are
// packed for the chosen kind one at a time, once per interlace pass, so no
// second image-sized buffer is needed.
#include "png_write.h"

#include <png.h>

#include <cerrno>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct png_format {
    int color_type;
    int bit_depth;
    uint32_t bytes_per_row;
};

png_format format_of(png_kind kind, uint32_t width)
{
    switch (kind) {
    case kind_grey16: return {PNG_COLOR_TYPE_GRAY, 16, width * 2};
    case kind_rgb: return {PNG_COLOR_TYPE_RGB, 8, width * 3};
    case kind_palette: return {PNG_COLOR_TYPE_PALETTE, 8, width};
    case kind_grey1: return {PNG_COLOR_TYPE_GRAY, 1, (width + 7) / 8};
    case kind_grey8: break;
    }
    return {PNG_COLOR_TYPE_GRAY, 8, width};
}

// encoded[v] for every linear sample v: the 16-bit code for grey16, the
// 8-bit code otherwise, and for grey1 0 or 1 by the halfway threshold.
void make_encoding(const scan_options &o, uint16_t *encoded)
{
    double top = o.kind == kind_grey16 ? 65535.0 : 255.0;
    uint32_t threshold = reflectance_sample(0.5 * (o.paper + o.toner));
    for (uint32_t v = 0; v < 65536; v++) {
        if (o.kind == kind_grey1)
            encoded[v] = v >= threshold;
        else
            encoded[v] = (uint16_t)floor(top * pow(v / 65535.0, o.gamma) + 0.5);
    }
}

void pack_row(png_kind kind, const uint16_t *linear, uint32_t width, const uint16_t *encoded,
              uint8_t *out)
{
    if (kind == kind_grey1)
        memset(out, 0, (width + 7) / 8);
    for (uint32_t x = 0; x < width; x++) {
        uint16_t e = encoded[linear[x]];
        switch (kind) {
        case kind_grey16: out[2 * x] = (uint8_t)(e >> 8), out[2 * x + 1] = (uint8_t)e; break;
        case kind_rgb: out[3 * x] = out[3 * x + 1] = out[3 * x + 2] = (uint8_t)e; break;
        case kind_grey1: out[x / 8] |= (uint8_t)(e << (7 - x % 8)); break;
        case kind_grey8:
        case kind_palette: out[x] = (uint8_t)e; break;
        }
    }
}

void on_png_error(png_structp png, png_const_charp message)
{
    fprintf(stderr, "paperscan: writing %s: %s\n", (const char *)png_get_error_ptr(png), message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp png, png_const_charp message)
{
    fprintf(stderr, "paperscan: writing %s: %s\n", (const char *)png_get_error_ptr(png), message);
}

void write_header(png_structp png, png_infop info, const sheet &s, const scan_options &o)
{
    png_format f = format_of(o.kind, s.width);
    png_set_IHDR(png, info, s.width, s.height, f.bit_depth, f.color_type,
                 o.interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                 PNG_FILTER_TYPE_DEFAULT);
    if (o.write_gamma)
        png_set_gAMA(png, info, o.gamma);
    if (o.kind == kind_palette) {
        png_color grey[256];
        for (int i = 0; i < 256; i++)
            grey[i].red = grey[i].green = grey[i].blue = (png_byte)i;
        png_set_PLTE(png, info, grey, 256);
    }
    // Speed over size: scans are large and short-lived.
    png_set_compression_level(png, 1);
    png_set_filter(png, 0, PNG_FILTER_NONE);
    png_write_info(png, info);
}

void write_pixels(png_structp png, const sheet &s, const scan_options &o, const uint16_t *encoded,
                  uint8_t *row)
{
    int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; pass++)
        for (uint32_t y = 0; y < s.height; y++) {
            pack_row(o.kind, s.pixels + (size_t)y * s.width, s.width, encoded, row);
            png_write_row(png, row);
        }
    png_write_end(png, nullptr);
}

// Opens `path` and writes the whole file; false with a message on failure.
bool write_file(const char *path, const sheet &s, const scan_options &o, const uint16_t *encoded,
                uint8_t *row)
{
    FILE *file = fopen(path, "wb");
    if (!file) {
        fprintf(stderr, "paperscan: cannot open %s for writing: %s\n", path, strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, (png_voidp)path, on_png_error,
                                              on_png_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (!ok)
        fprintf(stderr, "paperscan: cannot set up libpng to write %s\n", path);
    // libpng reports failures by jumping back here; everything this function
    // frees was set before, so nothing needs to be volatile.
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        write_header(png, info, s, o);
        write_pixels(png, s, o, encoded, row);
    } else {
        ok = false;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    bool closed = ferror(file) == 0;
    closed = (fclose(file) == 0) && closed;
    if (ok && !closed)
        fprintf(stderr, "paperscan: cannot write %s: %s\n", path, strerror(errno));
    return ok && closed;
}

} // namespace

bool write_scan(const char *path, const sheet &s, const scan_options &o)
{
    uint16_t *encoded = (uint16_t *)malloc(65536 * sizeof(uint16_t));
    uint8_t *row = (uint8_t *)malloc((size_t)s.width * 3);
    bool ok = encoded && row;
    if (!ok) {
        fprintf(stderr, "paperscan: cannot allocate the row buffers\n");
    } else {
        make_encoding(o, encoded);
        ok = write_file(path, s, o, encoded, row);
    }
    free(encoded);
    free(row);
    return ok;
}
