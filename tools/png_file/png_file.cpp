// png_file.cpp - packs grey sample rows into the PNG layout of the chosen
// colour type and depth and writes them through libpng.
//
// Reads the caller's rows one at a time, once per interlace pass, so no
// image-sized buffer exists beside the caller's picture; writes one file.
#include "png_file.h"

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// Who is writing what, for libpng's messages.
struct png_target {
    const char *who;
    const char *path;
};

bool has_colour(int colour_type)
{
    return colour_type == PNG_COLOR_TYPE_RGB || colour_type == PNG_COLOR_TYPE_RGB_ALPHA;
}

bool has_alpha(int colour_type)
{
    return colour_type == PNG_COLOR_TYPE_GRAY_ALPHA || colour_type == PNG_COLOR_TYPE_RGB_ALPHA;
}

// Bytes of one row in the file's layout.
size_t row_bytes(uint32_t width, const png_options &o)
{
    size_t channels = (has_colour(o.colour_type) ? 3 : 1) + (has_alpha(o.colour_type) ? 1 : 0);
    return ((size_t)width * channels * o.bit_depth + 7) / 8;
}

// One row of samples in the file's layout; depths below 8 pack pixels from
// the high bits of each byte, 16 bits go most significant byte first.
void pack_row(const uint16_t *samples, uint32_t width, const png_options &o, uint8_t *out)
{
    const uint32_t depth = (uint32_t)o.bit_depth;
    if (depth < 8) {
        memset(out, 0, row_bytes(width, o));
        for (uint32_t x = 0; x < width; x++)
            out[x * depth / 8] |= (uint8_t)(samples[x] << (8 - depth - x * depth % 8));
        return;
    }
    const int channels = has_colour(o.colour_type) ? 3 : 1;
    const bool alpha = has_alpha(o.colour_type);
    const uint16_t opaque = depth == 16 ? 65535 : 255;
    for (uint32_t x = 0; x < width; x++)
        for (int c = 0; c < channels + alpha; c++) {
            uint16_t v = c < channels ? samples[x] : opaque;
            if (depth == 16)
                *out++ = (uint8_t)(v >> 8);
            *out++ = (uint8_t)v;
        }
}

void on_png_error(png_structp png, png_const_charp message)
{
    const png_target *t = (const png_target *)png_get_error_ptr(png);
    fprintf(stderr, "%s: writing %s: %s\n", t->who, t->path, message);
    png_longjmp(png, 1);
}

void on_png_warning(png_structp png, png_const_charp message)
{
    const png_target *t = (const png_target *)png_get_error_ptr(png);
    fprintf(stderr, "%s: writing %s: %s\n", t->who, t->path, message);
}

void set_palette_and_transparency(png_structp png, png_infop info, const png_options &o)
{
    if (o.colour_type == PNG_COLOR_TYPE_PALETTE) {
        int entries = 1 << o.bit_depth;
        png_color palette[256];
        for (int i = 0; i < entries; i++) {
            png_byte level = (png_byte)(i * 255 / (entries - 1));
            palette[i] = {level, level, level};
        }
        png_set_PLTE(png, info, palette, entries);
        if (o.transparency) {
            png_byte alpha[1] = {0};
            png_set_tRNS(png, info, alpha, 1, nullptr);
        }
    } else if (o.transparency && !has_alpha(o.colour_type)) {
        png_color_16 black = {};
        png_set_tRNS(png, info, nullptr, 0, &black);
    }
}

void write_header(png_structp png, png_infop info, uint32_t width, uint32_t height,
                  const png_options &o)
{
    png_set_IHDR(png, info, width, height, o.bit_depth, o.colour_type,
                 o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (o.gamma > 0)
        png_set_gAMA(png, info, o.gamma);
    set_palette_and_transparency(png, info, o);
    if (o.fast) {
        png_set_compression_level(png, 1);
        png_set_filter(png, 0, PNG_FILTER_NONE);
    }
    png_write_info(png, info);
}

// The rows of every pass, then the end of the file.
struct row_job {
    uint32_t width, height;
    png_row_source *rows;
    const void *picture;
    uint16_t *samples;
    uint8_t *packed;
};

void write_rows(png_structp png, const row_job &job, const png_options &o)
{
    int passes = png_set_interlace_handling(png);
    for (int pass = 0; pass < passes; pass++)
        for (uint32_t y = 0; y < job.height; y++) {
            job.rows(job.picture, y, job.samples);
            pack_row(job.samples, job.width, o, job.packed);
            png_write_row(png, job.packed);
        }
    png_write_end(png, nullptr);
}

// Writes the whole file to `file`; false after a message on failure.
bool write_to(FILE *file, const png_target &target, const row_job &job, const png_options &o)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, (png_voidp)&target,
                                              on_png_error, on_png_warning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = png && info;
    if (!ok)
        fprintf(stderr, "%s: cannot set up libpng to write %s\n", target.who, target.path);
    // libpng reports failures by jumping back here; everything this function
    // frees was set before, so nothing needs to be volatile.
    if (ok && setjmp(png_jmpbuf(png)) == 0) {
        png_init_io(png, file);
        write_header(png, info, job.width, job.height, o);
        if (!o.header_only)
            write_rows(png, job, o);
    } else {
        ok = false;
    }
    png_destroy_write_struct(png ? &png : nullptr, info ? &info : nullptr);
    return ok;
}

} // namespace

bool write_png_file(const char *path, uint32_t width, uint32_t height, const png_options &options,
                    png_row_source *rows, const void *picture, const char *who)
{
    row_job job{width, height, rows, picture, nullptr, nullptr};
    // One element more than the row needs: a width of 0 is for libpng to
    // refuse, not an allocation that seems to fail.
    if (!options.header_only) {
        job.samples = (uint16_t *)malloc(((size_t)width + 1) * sizeof(uint16_t));
        job.packed = (uint8_t *)malloc(row_bytes(width, options) + 1);
        if (!job.samples || !job.packed) {
            fprintf(stderr, "%s: cannot allocate the row buffers\n", who);
            free(job.samples);
            free(job.packed);
            return false;
        }
    }
    bool ok = false;
    FILE *file = fopen(path, "wb");
    if (!file) {
        fprintf(stderr, "%s: cannot open %s for writing: %s\n", who, path, strerror(errno));
    } else {
        const png_target target{who, path};
        ok = write_to(file, target, job, options);
        bool closed = ferror(file) == 0;
        closed = (fclose(file) == 0) && closed;
        if (ok && !closed)
            fprintf(stderr, "%s: cannot write %s: %s\n", who, path, strerror(errno));
        ok = ok && closed;
    }
    free(job.samples);
    free(job.packed);
    return ok;
}
