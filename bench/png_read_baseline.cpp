// png_read_baseline.cpp - the least a decoder of a scan must do: read the
// PNG through libpng into one 8-bit grey buffer, with the same gamma
// handling and conversions as unpaprel's load_png, and nothing else.
//
//   png_read_baseline <scan.png>...
//
// bench/speed.sh times unpaprel against this program on the same scans.
// It prints the size and a checksum of every image so the read cannot be
// optimised away and so the two programs can be seen to read the same pixels.
#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

// The conversions of load_png: every colour type and depth to one 8-bit grey
// sample per pixel.
void choose_conversions(png_structp png, png_infop info)
{
    int colour_type = png_get_color_type(png, info);
    int bit_depth = png_get_bit_depth(png, info);
    bool expands = colour_type == PNG_COLOR_TYPE_PALETTE ||
                   (colour_type == PNG_COLOR_TYPE_GRAY && bit_depth < 8);
    if (expands)
        png_set_expand(png);
    if (bit_depth == 16)
        png_set_strip_16(png);
    if ((colour_type & PNG_COLOR_MASK_ALPHA) != 0 ||
        (expands && png_get_valid(png, info, PNG_INFO_tRNS)))
        png_set_strip_alpha(png);
    if (colour_type & PNG_COLOR_MASK_COLOR)
        png_set_rgb_to_gray(png, PNG_ERROR_ACTION_NONE, -1.0, -1.0);
}

bool read_one(const char *path)
{
    FILE *file = fopen(path, "rb");
    if (!file) {
        perror(path);
        return false;
    }
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    uint8_t *image = nullptr;
    png_bytepp rows = nullptr;
    if (!png || !info || setjmp(png_jmpbuf(png))) {
        fprintf(stderr, "%s: cannot read\n", path);
        png_destroy_read_struct(&png, &info, nullptr);
        free(image);
        free(rows);
        fclose(file);
        return false;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    png_uint_32 width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    double file_gamma = 0.454545;
    if (!png_get_gAMA(png, info, &file_gamma))
        file_gamma = 0.454545;
    png_set_gamma(png, 1.0, file_gamma);
    choose_conversions(png, info);
    int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image = (uint8_t *)malloc((size_t)width * height);
    rows = (png_bytepp)malloc(sizeof(png_bytep) * height);
    if (!image || !rows)
        png_error(png, "out of memory");
    for (png_uint_32 y = 0; y < height; y++)
        rows[y] = image + (size_t)y * width;
    for (int pass = 0; pass < passes; pass++)
        png_read_rows(png, rows, nullptr, height);
    png_read_end(png, nullptr);
    uint64_t sum = 0;
    for (size_t i = 0; i < (size_t)width * height; i++)
        sum += image[i];
    printf("%s: %u x %u, pixel sum %llu\n", path, width, height, (unsigned long long)sum);
    png_destroy_read_struct(&png, &info, nullptr);
    free(image);
    free(rows);
    fclose(file);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fprintf(stderr, "usage: png_read_baseline <scan.png>...\n");
        return 1;
    }
    for (int i = 1; i < argc; i++)
        if (!read_one(argv[i]))
            return 1;
    return 0;
}
