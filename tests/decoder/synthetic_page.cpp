// synthetic_page.cpp - drawing ideal pages for the decoder's unit tests.
// The drawing follows the page layout independently of the encoder, so the
// decoder's stages are checked against the layout itself.
#include "synthetic_page.h"

#include <cmath>

std::unique_ptr<test_page> make_test_page(uint32_t width, uint32_t height)
{
    auto t = std::make_unique<test_page>();
    t->page = page_state{};
    t->image.assign((size_t)width * height, 255);
    t->work.assign((size_t)width * height, 255);
    t->page.width = width;
    t->page.height = height;
    t->page.image = t->image.data();
    t->page.work = t->work.data();
    t->page.cutlevel = 128;
    t->scale = 1;
    t->margin = 0;
    return t;
}

namespace {

void fill_page_pixel(test_page &t, uint32_t px, uint32_t py, uint8_t value)
{
    for (uint32_t dy = 0; dy < t.scale; dy++)
        for (uint32_t dx = 0; dx < t.scale; dx++)
            t.image[(size_t)(t.margin + py * t.scale + dy) * t.page.width + t.margin +
                    px * t.scale + dx] = value;
}

void draw_template(test_page &t)
{
    for (uint32_t py = 0; py < page_height; py++)
        for (uint32_t px = 0; px < page_width; px++) {
            bool frame = px < 2 || px >= page_width - 2 || py < 2 || py >= label_top;
            uint32_t x = px - 2, y = py - 2;
            bool cross_black = !frame && is_cross(x, y) && ((x % 24 < 3) == (y % 24 < 3));
            if (frame || cross_black)
                fill_page_pixel(t, px, py, 0);
        }
}

void set_geometry(test_page &t)
{
    page_state &p = t.page;
    const uint64_t m = t.margin, s = t.scale;
    p.corners.upper_left = {m, m};
    p.corners.upper_right = {m + s * page_width, m};
    p.corners.lower_left = {m, m + s * page_height};
    p.corners.lower_right = {m + s * page_width, m + s * page_height};
    p.page_left = m;
    p.page_top = m;
    p.page_right = m + s * page_width;
    p.page_bottom = m + s * page_height;
    p.bit_width = p.bit_height = (double)s;
    p.horizontal_vector = {1, 0};
    p.vertical_vector = {0, 1};
    p.chalf = (int32_t)(s * 1.5);
    p.quadrant_half = (int32_t)(s * 2.25);
    size_t side = 4 * (size_t)p.chalf + 1;
    t.search.assign(side * side, 0.0f);
    p.search_area = t.search.data();
}

} // namespace

std::unique_ptr<test_page> draw_test_page(uint32_t scale, uint32_t margin,
                                          const std::vector<uint32_t> &data_words)
{
    auto t = make_test_page(2 * margin + scale * page_width, 2 * margin + scale * page_height);
    t->scale = scale;
    t->margin = margin;
    draw_template(*t);
    for (uint32_t k = 0; k < data_words.size(); k++) {
        uint64_t codeword = golay_encode(data_words[k]);
        for (uint32_t n = 0; n < 24; n++) {
            int32_t x, y;
            bit_to_pixel(n * codewords_per_page + k, &x, &y);
            if (codeword >> (23 - n) & 1)
                fill_page_pixel(*t, (uint32_t)x + 2, (uint32_t)y + 2, 0);
        }
    }
    set_geometry(*t);
    set_levels(*t);
    return t;
}

void set_levels(test_page &t)
{
    for (uint64_t &count : t.page.histogram)
        count = 0;
    for (uint8_t v : t.image)
        t.page.histogram[v]++;
    t.page.fill_cutlevel = 128;
}

void set_exact_crosses(test_page &t)
{
    for (uint32_t i = 0; i < cross_cols; i++)
        for (uint32_t j = 0; j < cross_rows; j++) {
            t.page.cross_grid[i][j] = {t.margin + t.scale * (24.0 * i + 5),
                                       t.margin + t.scale * (24.0 * j + 5)};
            t.page.cross_cutlevels[i][j] = 128;
        }
}

void data_pixel_origin(const test_page &t, int32_t x, int32_t y, int64_t *column, int64_t *row)
{
    *column = t.margin + (int64_t)t.scale * (x + 2);
    *row = t.margin + (int64_t)t.scale * (y + 2);
}
