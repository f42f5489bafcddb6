// grey_image.cpp - PGM files of grey_image through pgm_file.
#include "grey_image.h"

#include "pgm_file.h"

#include <gtest/gtest.h>

#include <cstdio>

bool read_pgm(const std::string &path, grey_image *image)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    pgm_header header;
    bool ok = pgm_read_header(file, {1, 20000, 1, 20000}, &header) == pgm_ok;
    if (ok) {
        image->width = header.width;
        image->height = header.height;
        image->pixels.assign((size_t)header.width * header.height, 0);
        ok = pgm_read_pixels(file, header, image->pixels.data(), nullptr) == pgm_ok;
    }
    fclose(file);
    return ok;
}

bool write_pgm(const std::string &path, uint32_t width, uint32_t height,
               const std::vector<uint8_t> &pixels)
{
    if (pixels.size() != (size_t)width * height) {
        ADD_FAILURE() << "write_pgm: " << pixels.size() << " pixels for " << width << " x "
                      << height;
        return false;
    }
    FILE *file = fopen(path.c_str(), "wb");
    bool ok = file && pgm_write(file, width, height, pixels.data());
    if (file && fclose(file) != 0)
        ok = false;
    if (!ok)
        ADD_FAILURE() << "write_pgm: cannot write " << path;
    return ok;
}
