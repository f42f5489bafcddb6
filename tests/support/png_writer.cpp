// png_writer.cpp - test PNGs through libpng; see png_writer.h.
#include "png_writer.h"

#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstdio>

namespace {

bool has_colour(int colour_type)
{
    return colour_type == PNG_COLOR_TYPE_RGB || colour_type == PNG_COLOR_TYPE_RGB_ALPHA;
}

bool has_alpha(int colour_type)
{
    return colour_type == PNG_COLOR_TYPE_GRAY_ALPHA || colour_type == PNG_COLOR_TYPE_RGB_ALPHA;
}

// Appends one sample of `bits` bits (8 or 16) to a byte row.
void put_sample(std::vector<uint8_t> &row, unsigned value, int bits)
{
    if (bits == 16)
        row.push_back((uint8_t)(value >> 8));
    row.push_back((uint8_t)value);
}

// Row y in the file's layout; depths below 8 pack pixels from the high bits.
std::vector<uint8_t> encode_row(const std::vector<uint8_t> &grey, uint32_t width, uint32_t y,
                                const png_options &o)
{
    std::vector<uint8_t> row;
    uint32_t bit = 0;
    for (uint32_t x = 0; x < width; x++) {
        uint8_t v = grey[(size_t)y * width + x];
        if (o.bit_depth < 8) {
            if (bit % 8 == 0)
                row.push_back(0);
            unsigned level = v >> (8 - o.bit_depth);
            row.back() |= (uint8_t)(level << (8 - o.bit_depth - bit % 8));
            bit += o.bit_depth;
            continue;
        }
        unsigned sample = o.bit_depth == 16 ? v * 257u : v;
        int channels = has_colour(o.colour_type) ? 3 : 1;
        for (int c = 0; c < channels; c++)
            put_sample(row, sample, o.bit_depth);
        if (has_alpha(o.colour_type))
            put_sample(row, o.bit_depth == 16 ? 65535 : 255, o.bit_depth);
    }
    return row;
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

// No C++ objects live in this frame: libpng may long-jump out of it.
bool write_all(FILE *file, uint32_t width, uint32_t height, png_bytep *rows, const png_options &o)
{
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    png_set_IHDR(png, info, width, height, o.bit_depth, o.colour_type,
                 o.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (o.gamma > 0)
        png_set_gAMA(png, info, o.gamma);
    set_palette_and_transparency(png, info, o);
    png_write_info(png, info);
    if (!o.header_only) {
        png_write_image(png, rows);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    return true;
}

} // namespace

bool write_png(const std::string &path, uint32_t width, uint32_t height,
               const std::vector<uint8_t> &grey, const png_options &options)
{
    if (!options.header_only && grey.size() != (size_t)width * height) {
        ADD_FAILURE() << "write_png: " << grey.size() << " pixels for " << width << " x " << height;
        return false;
    }
    std::vector<std::vector<uint8_t>> rows;
    std::vector<png_bytep> pointers;
    if (!options.header_only) {
        for (uint32_t y = 0; y < height; y++)
            rows.push_back(encode_row(grey, width, y, options));
        for (auto &row : rows)
            pointers.push_back(row.data());
    }
    FILE *file = fopen(path.c_str(), "wb");
    if (!file) {
        ADD_FAILURE() << "write_png: cannot create " << path;
        return false;
    }
    bool written = write_all(file, width, height, pointers.data(), options);
    if (fclose(file) != 0 || !written) {
        ADD_FAILURE() << "write_png: cannot write " << path;
        return false;
    }
    return true;
}
