// page_check.cpp - see page_check.h.
#include "page_check.h"

#include "label_art.h"
#include "page_format.h"

#include <gtest/gtest.h>

uint8_t page_pixel(const uint8_t *pixels, uint32_t x, uint32_t y)
{
    return pixels[(size_t)y * page_width + x];
}

uint64_t read_codeword(const uint8_t *pixels, uint32_t k)
{
    uint64_t word = 0;
    for (uint32_t n = 0; n < 24; n++) {
        int32_t x, y;
        bit_to_pixel(n * codewords_per_page + k, &x, &y);
        uint8_t value = page_pixel(pixels, (uint32_t)x + 2, (uint32_t)y + 2);
        EXPECT_TRUE(value == 0 || value == 255) << "pixel " << x << "," << y;
        word = word << 1 | (value == 0 ? 1 : 0);
    }
    return word;
}

namespace {

bool cell_matches(const uint8_t *pixels, uint32_t page_x, uint32_t ch)
{
    for (uint32_t r = 0; r < 24; r++)
        for (uint32_t c = 0; c < 13; c++) {
            bool white = page_pixel(pixels, page_x + c, 2216 + r) == 255;
            if (white != (label_art[r * 1500 + (ch - 32) * 13 + c] == 1))
                return false;
        }
    return true;
}

} // namespace

std::string read_label(const uint8_t *pixels)
{
    std::string text;
    for (uint32_t cell = 0; cell < 98; cell++) {
        char found = '?';
        for (uint32_t ch = 32; ch <= 126 && found == '?'; ch++)
            if (cell_matches(pixels, 267 + 13 * cell, ch))
                found = (char)ch;
        text += found;
    }
    return text;
}

std::string label_cells(const std::string &line)
{
    std::string cells;
    for (char ch : line)
        if ((unsigned char)ch >= 32 && (unsigned char)ch < 128)
            cells += ch;
    cells.resize(98, ' ');
    return cells;
}

bool read_payload(const std::vector<const uint8_t *> &pages, std::string *payload)
{
    uint32_t accumulator = 0, bits = 0;
    payload->clear();
    for (const uint8_t *page : pages)
        for (uint32_t k = 0; k < codewords_per_page; k++) {
            uint64_t word = read_codeword(page, k);
            if (word != golay_encode(word >> 12)) {
                ADD_FAILURE() << "codeword " << k << " reads as invalid " << std::hex << word;
                return false;
            }
            accumulator = accumulator << 12 | (uint32_t)(word >> 12);
            bits += 12;
            while (bits >= 8) {
                bits -= 8;
                *payload += (char)(accumulator >> bits);
            }
            accumulator &= (1u << bits) - 1;
        }
    return true;
}
