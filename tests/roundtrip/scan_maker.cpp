// scan_maker.cpp - area-averaged resampling of page images into scans.
#include "scan_maker.h"

#include <cmath>
#include <cstdio>
#include <cstring>

bool read_pgm(const std::string &path, grey_image *image)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    unsigned width = 0, height = 0, maxval = 0;
    bool ok = fscanf(file, "P5\n%u %u\n%u", &width, &height, &maxval) == 3 && maxval == 255 &&
              fgetc(file) == '\n';
    if (ok) {
        image->width = width;
        image->height = height;
        image->pixels.resize((size_t)width * height);
        ok = fread(image->pixels.data(), 1, image->pixels.size(), file) == image->pixels.size();
    }
    fclose(file);
    return ok;
}

namespace {

// For each output pixel along one axis, the page pixels it overlaps with
// their weights (fractions of the output pixel), plus the white outside.
struct axis_weights {
    std::vector<uint32_t> first;        // index into entries of each output pixel
    std::vector<uint32_t> page_pixel;
    std::vector<double> weight;
    std::vector<double> outside;        // weight of the white beyond the page
};

axis_weights overlap_weights(uint32_t outputs, uint32_t page_pixels, double scale, uint32_t margin)
{
    axis_weights a;
    for (uint32_t o = 0; o < outputs; o++) {
        a.first.push_back((uint32_t)a.page_pixel.size());
        const double lo = (o - (double)margin) / scale, hi = (o + 1 - (double)margin) / scale;
        double inside = 0;
        for (double p = floor(lo); p < hi; p++) {
            if (p < 0 || p >= page_pixels)
                continue;
            const double overlap = (fmin(hi, p + 1) - fmax(lo, p)) * scale;
            if (overlap <= 0)
                continue;
            a.page_pixel.push_back((uint32_t)p);
            a.weight.push_back(overlap);
            inside += overlap;
        }
        a.outside.push_back(1 - inside);
    }
    a.first.push_back((uint32_t)a.page_pixel.size());
    return a;
}

} // namespace

grey_image make_scan(const grey_image &page, double scale, uint32_t margin)
{
    grey_image scan;
    scan.width = (uint32_t)ceil(2 * margin + scale * page.width);
    scan.height = (uint32_t)ceil(2 * margin + scale * page.height);
    const axis_weights across = overlap_weights(scan.width, page.width, scale, margin);
    const axis_weights down = overlap_weights(scan.height, page.height, scale, margin);
    // Rows first: every page row resampled to the scan's width.
    std::vector<float> rows((size_t)page.height * scan.width);
    for (uint32_t py = 0; py < page.height; py++)
        for (uint32_t x = 0; x < scan.width; x++) {
            double sum = across.outside[x] * 255;
            for (uint32_t e = across.first[x]; e < across.first[x + 1]; e++)
                sum += across.weight[e] * page.at(across.page_pixel[e], py);
            rows[(size_t)py * scan.width + x] = (float)sum;
        }
    scan.pixels.resize((size_t)scan.width * scan.height);
    std::vector<double> line(scan.width);
    for (uint32_t y = 0; y < scan.height; y++) {
        for (uint32_t x = 0; x < scan.width; x++)
            line[x] = down.outside[y] * 255;
        for (uint32_t e = down.first[y]; e < down.first[y + 1]; e++) {
            const float *row = &rows[(size_t)down.page_pixel[e] * scan.width];
            for (uint32_t x = 0; x < scan.width; x++)
                line[x] += down.weight[e] * row[x];
        }
        for (uint32_t x = 0; x < scan.width; x++)
            scan.at(x, y) = (uint8_t)fmin(255, fmax(0, floor(line[x] + 0.5)));
    }
    return scan;
}

void paint_page_pixel(grey_image &scan, uint32_t scale, uint32_t margin, uint32_t px, uint32_t py,
                      uint8_t value)
{
    for (uint32_t dy = 0; dy < scale; dy++)
        for (uint32_t dx = 0; dx < scale; dx++)
            scan.at(margin + scale * px + dx, margin + scale * py + dy) = value;
}
