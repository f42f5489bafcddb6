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

namespace {

// A complete group of 12 bits (the low 12 of `data`) becomes a codeword on
// the page, on a new page if this one is full.
void place_data_word(uint64_t data)
{
    uint64_t codeword = golay_encode(data);
    if (codeword_index >= codewords_per_page) {
        new_page();
        codeword_index = 0;
    }
    place_codeword(codeword);
    bit_accumulator = 1;
    codeword_index++;
}

} // namespace

void feed_bit(uint32_t b)
{
    uint64_t previous = bit_accumulator;
    bit_accumulator = previous * 2 + (b & 1);
    // The sentinel 1 stands above the collected bits; it reaches bit 11 of
    // `previous` exactly when 11 bits were waiting, so this bit is the 12th.
    if ((previous & 0x800) == 0)
        return;
    place_data_word(bit_accumulator); // the sentinel, now bit 12, is ignored
}

void feed_byte(uint8_t byte)
{
    for (int bit = 7; bit >= 0; bit--)
        feed_bit(byte >> bit);
}

// Three bytes are two whole data words: while no bits are waiting they go
// straight to the page, the same words feed_byte would make of them.
void feed_bytes(const uint8_t *bytes, size_t count)
{
    size_t i = 0;
    while (i < count) {
        if (bit_accumulator == 1 && count - i >= 3) {
            uint32_t three = (uint32_t)bytes[i] << 16 | (uint32_t)bytes[i + 1] << 8 | bytes[i + 2];
            place_data_word(three >> 12);
            place_data_word(three & 0xFFF);
            i += 3;
        } else {
            feed_byte(bytes[i++]);
        }
    }
}

namespace {

// Bit n of successive codewords lands on successive bit positions, and
// those run along the data area's rows in runs of neighbouring pixels: 18
// between two crosses in a row through crosses, 1542 in any other row.  A
// cursor per bit index follows its run pixel by pixel and asks bit_to_pixel
// only where a run starts, instead of dividing for every bit.
struct bit_cursor {
    uint32_t offset;    // the byte in page_buffer of its next bit
    uint32_t run_left;  // pixels of the run from there on, itself included
};
bit_cursor cursors[24];
// The codeword index the cursors stand at; none at first.
uint64_t cursors_at = UINT64_MAX;

void start_run(bit_cursor &cursor, uint32_t position)
{
    int32_t x, y;
    bit_to_pixel(position, &x, &y);
    const bool through_crosses = (uint32_t)y % cross_pitch < 2 * chalf;
    cursor.offset = ((uint32_t)y + border_width) * page_width + (uint32_t)x + border_width;
    cursor.run_left = through_crosses ? cross_pitch - (uint32_t)x % cross_pitch : data_width - (uint32_t)x;
}

} // namespace

// Every one of the 24 pixels is written, black or white, so the result does
// not depend on what the page held there before.  Cursors that do not stand
// at the codeword index asked for (a new page, the first codeword) start
// again from bit_to_pixel.
void place_codeword(uint64_t codeword)
{
    const uint32_t k = (uint32_t)codeword_index;
    if (cursors_at != codeword_index)
        for (uint32_t n = 0; n < 24; n++)
            start_run(cursors[n], n * codewords_per_page + k);
    for (uint32_t n = 0; n < 24; n++) {
        bit_cursor &cursor = cursors[n];
        if (cursor.run_left == 0)
            start_run(cursor, n * codewords_per_page + k);
        page_buffer[cursor.offset] = (codeword >> (23 - n)) & 1 ? 0 : 255;
        cursor.offset++;
        cursor.run_left--;
    }
    cursors_at = codeword_index + 1;
}
