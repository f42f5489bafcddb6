// png_writer.cpp - test PNGs of 8-bit grey pictures; see png_writer.h.
#include "png_writer.h"

#include <gtest/gtest.h>

namespace {

struct grey_picture {
    const uint8_t *grey;
    uint32_t width;
    int bit_depth;
};

// Row y's grey bytes as samples at the file's depth.
void grey_row(const void *picture, uint32_t y, uint16_t *samples)
{
    const grey_picture *p = (const grey_picture *)picture;
    const uint8_t *row = p->grey + (size_t)y * p->width;
    for (uint32_t x = 0; x < p->width; x++)
        samples[x] = p->bit_depth == 16 ? (uint16_t)(row[x] * 257u)
                     : p->bit_depth < 8 ? (uint16_t)(row[x] >> (8 - p->bit_depth))
                                        : row[x];
}

} // namespace

png_options linear_grey_png()
{
    png_options options;
    options.gamma = 1.0;
    return options;
}

bool write_png(const std::string &path, uint32_t width, uint32_t height,
               const std::vector<uint8_t> &grey, const png_options &options)
{
    if (!options.header_only && grey.size() != (size_t)width * height) {
        ADD_FAILURE() << "write_png: " << grey.size() << " pixels for " << width << " x " << height;
        return false;
    }
    const grey_picture picture{grey.data(), width, options.bit_depth};
    if (!write_png_file(path.c_str(), width, height, options, grey_row, &picture, "write_png")) {
        ADD_FAILURE() << "write_png: cannot write " << path;
        return false;
    }
    return true;
}

std::vector<uint8_t> framed_scan()
{
    std::vector<uint8_t> grey(framed_scan_width * framed_scan_height, 255);
    for (uint32_t x = 5; x <= 34; x++)
        grey[4 * framed_scan_width + x] = grey[25 * framed_scan_width + x] = 0;
    for (uint32_t y = 4; y <= 25; y++)
        grey[y * framed_scan_width + 5] = grey[y * framed_scan_width + 34] = 0;
    return grey;
}
