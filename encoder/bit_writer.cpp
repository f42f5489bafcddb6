// bit_writer.cpp - payload bits to Golay codewords on the page.
//
// Takes the payload one bit at a time, most significant bit of each byte
// first, collects 12 bits into a data word, encodes it with the extended
// Golay code and writes the codeword's 24 bits into page_buffer: bit n of
// codeword k of a page at bit position n * codewords_per_page + k, so each
// codeword is spread over the whole height of the page. Asks the driver for
// a new page only when a finished codeword finds the page full, so a
// payload that ends exactly at the end of a page makes no empty page.
#include "paprel.h"

uint64_t bit_accumulator = 1;
uint64_t codeword_index = 0;

void feed_bit(uint32_t b)
{
    uint64_t previous = bit_accumulator;
    bit_accumulator = previous * 2 + (b & 1);
    // The sentinel 1 stands above the collected bits; it reaches bit 11 of
    // `previous` exactly when 11 bits were waiting, so this bit is the 12th.
    if ((previous & 0x800) == 0)
        return;
    uint64_t codeword = golay_encode(bit_accumulator); // the sentinel, now bit 12, is ignored
    if (codeword_index >= codewords_per_page) {
        new_page();
        codeword_index = 0;
    }
    place_codeword(codeword);
    bit_accumulator = 1;
    codeword_index++;
}

void feed_byte(uint8_t byte)
{
    for (int bit = 7; bit >= 0; bit--)
        feed_bit(byte >> bit);
}

// Every one of the 24 pixels is written, black or white, so the result does
// not depend on what the page held there before.
void place_codeword(uint64_t codeword)
{
    for (uint32_t n = 0; n < 24; n++) {
        int32_t x, y;
        bit_to_pixel(n * codewords_per_page + (uint32_t)codeword_index, &x, &y);
        uint32_t offset = (uint32_t)(y + (int32_t)border_width) * page_width +
                          (uint32_t)(x + (int32_t)border_width);
        page_buffer[offset] = (codeword >> (23 - n)) & 1 ? 0 : 255;
    }
}
