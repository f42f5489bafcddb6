// dotgain_sim.cpp - what a printer with toner spread and a scanner make of a
// sheet: reads a grey PGM rendered at printer resolution, grows the black by
// a given number of printer dots (dilation with a square), blurs it a little
// as the scanner's optics do (3 x 3 box), averages it down by a whole factor
// to the scanner's resolution, and writes the result as a grey PNG.
//
//   dotgain_sim <sheet.pgm> <spread dots> <downsample factor> <scan.png>
//
// Built with the bench programs and run by dotgain.sh; it reads the sheet
// and writes the scan with the tree's own PGM reader and PNG writer.
#include "pgm_file.h"
#include "png_file.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

struct grey {
    uint32_t width = 0, height = 0;
    unsigned char *pixels = nullptr; // owned, width x height
};

[[noreturn]] void die(const char *message, const char *name)
{
    fprintf(stderr, "dotgain_sim: %s %s\n", message, name);
    exit(1);
}

unsigned char *allocate(size_t size)
{
    unsigned char *buffer = (unsigned char *)malloc(size);
    if (!buffer)
        die("cannot allocate", "an image buffer");
    return buffer;
}

// The sheet Ghostscript rendered, of any size up to 100000 dots a side.
grey read_sheet(const char *path)
{
    grey image;
    pgm_header header;
    FILE *file = fopen(path, "rb");
    if (!file || pgm_read_header(file, {1, 100000, 1, 100000}, &header) != pgm_ok)
        die("cannot read the PGM sheet", path);
    image.width = header.width;
    image.height = header.height;
    image.pixels = allocate((size_t)image.width * image.height);
    if (pgm_read_pixels(file, header, image.pixels, nullptr) != pgm_ok)
        die("the sheet is cut short:", path);
    fclose(file);
    return image;
}

// Minimum over a window of 2 r + 1 along rows (step 1) or columns (step
// width): black spreads r dots to each side.
void spread_line(const unsigned char *in, unsigned char *out, uint32_t count, size_t step,
                 uint32_t r)
{
    for (uint32_t i = 0; i < count; i++) {
        uint32_t low = i >= r ? i - r : 0;
        uint32_t high = i + r < count ? i + r : count - 1;
        unsigned char m = 255;
        for (uint32_t j = low; j <= high; j++)
            m = in[j * step] < m ? in[j * step] : m;
        out[i * step] = m;
    }
}

// Mean over a window of 3 along rows or columns, the ends repeated.
void blur_line(const unsigned char *in, unsigned char *out, uint32_t count, size_t step)
{
    for (uint32_t i = 0; i < count; i++) {
        uint32_t a = i > 0 ? i - 1 : 0, b = i + 1 < count ? i + 1 : i;
        out[i * step] = (unsigned char)((in[a * step] + in[i * step] + in[b * step] + 1) / 3);
    }
}

// Applies a line operation to every row, then every column.
template <typename op>
void separable(grey *image, op line)
{
    unsigned char *temp = allocate((size_t)image->width * image->height);
    for (uint32_t y = 0; y < image->height; y++)
        line(image->pixels + (size_t)y * image->width, temp + (size_t)y * image->width,
             image->width, 1);
    for (uint32_t x = 0; x < image->width; x++)
        line(temp + x, image->pixels + x, image->height, image->width);
    free(temp);
}

grey downsample(const grey &image, uint32_t factor)
{
    grey scan;
    scan.width = image.width / factor;
    scan.height = image.height / factor;
    scan.pixels = allocate((size_t)scan.width * scan.height);
    for (uint32_t y = 0; y < scan.height; y++)
        for (uint32_t x = 0; x < scan.width; x++) {
            uint32_t sum = 0;
            for (uint32_t dy = 0; dy < factor; dy++)
                for (uint32_t dx = 0; dx < factor; dx++)
                    sum += image.pixels[(size_t)(y * factor + dy) * image.width + x * factor + dx];
            scan.pixels[(size_t)y * scan.width + x] =
                (unsigned char)((sum + factor * factor / 2) / (factor * factor));
        }
    return scan;
}

// Row y of a grey image as 8-bit samples, for the PNG writer.
void scan_row(const void *picture, uint32_t y, uint16_t *samples)
{
    const grey &image = *(const grey *)picture;
    for (uint32_t x = 0; x < image.width; x++)
        samples[x] = image.pixels[(size_t)y * image.width + x];
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5) {
        fprintf(stderr, "usage: dotgain_sim <sheet.pgm> <spread dots> <factor> <scan.png>\n");
        return 1;
    }
    grey sheet = read_sheet(argv[1]);
    uint32_t spread = (uint32_t)atoi(argv[2]);
    uint32_t factor = (uint32_t)atoi(argv[3]);
    if (factor < 1 || factor > 16 || spread > 64)
        die("spread or factor out of range:", argv[2]);
    if (spread > 0)
        separable(&sheet, [spread](const unsigned char *in, unsigned char *out, uint32_t n,
                                   size_t step) { spread_line(in, out, n, step, spread); });
    separable(&sheet, blur_line);
    grey scan = downsample(sheet, factor);
    // 8-bit grey with the gamma of sRGB, as a scanner writes it.
    png_options options;
    options.gamma = 0.45455;
    if (!write_png_file(argv[4], scan.width, scan.height, options, scan_row, &scan, "dotgain_sim"))
        return 1;
    free(sheet.pixels);
    free(scan.pixels);
    return 0;
}
