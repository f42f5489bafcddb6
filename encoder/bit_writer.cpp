// bit_writer.cpp - payload bits to Golay codewords on the page.
//
// Takes the payload one bit at a time, most significant bit of each byte
// first, collects 12 bits into a data word, encodes it with the extended
// Golay code and places the codeword on the page: bit n of codeword k of a
// page belongs at bit position n * codewords_per_page + k, so each codeword
// is spread over the whole height of the page. Turns to a new page
// (new_page) only when a finished codeword finds the page full, so a
// payload that ends exactly at the end of a page makes no empty page. A
// page turn that fails stops the writer: its status is returned at once,
// and no later bit is taken.
//
// Reads and writes the run's bit_accumulator, codeword_index and
// page_codeword_bytes; render_page draws the codewords into page_buffer's
// data area when the page is complete: bit positions run along the rows,
// so a row of pixels is one bit of consecutive codewords and is drawn in
// one tight loop, where placing a codeword at a time would scatter its 24
// bits over the whole page.  The codewords are kept as three planes of
// bytes so that a row reads one byte per pixel, from a plane small enough
// to stay in the cache.
#include "encoder_internals.h"

#include <cstring>

namespace {

// Codeword `k` of the page, its three bytes in their planes.
void store_codeword(paprel_run &run, uint64_t k, uint64_t codeword)
{
    run.page_codeword_bytes[0][k] = (uint8_t)(codeword >> 16);
    run.page_codeword_bytes[1][k] = (uint8_t)(codeword >> 8);
    run.page_codeword_bytes[2][k] = (uint8_t)codeword;
}

// A complete group of 12 bits (the low 12 of `data`) becomes a codeword on
// the page, on a new page if this one is full.
paprel_status place_data_word(paprel_run &run, uint64_t data)
{
    uint64_t codeword = golay_encode(data);
    if (run.codeword_index >= codewords_per_page) {
        paprel_status status = new_page(run);
        if (failed(status))
            return status;
    }
    place_codeword(run, codeword);
    run.bit_accumulator = 1;
    run.codeword_index++;
    return paprel_ok;
}

} // namespace

paprel_status feed_bit(paprel_run &run, uint32_t b)
{
    uint64_t previous = run.bit_accumulator;
    run.bit_accumulator = previous * 2 + (b & 1);
    // The sentinel 1 stands above the collected bits; it reaches bit 11 of
    // `previous` exactly when 11 bits were waiting, so this bit is the 12th.
    if ((previous & 0x800) == 0)
        return paprel_ok;
    return place_data_word(run, run.bit_accumulator); // the sentinel, now bit 12, is ignored
}

paprel_status feed_byte(paprel_run &run, uint8_t byte)
{
    for (int bit = 7; bit >= 0; bit--) {
        paprel_status status = feed_bit(run, byte >> bit);
        if (failed(status))
            return status;
    }
    return paprel_ok;
}

namespace {

// Three bytes are two whole data words.  While no bits are waiting, as many
// groups of three as `count` holds and the page has room for go straight to
// the page, the words feed_byte would make of them; the index stays in a
// register, where every store of a byte would otherwise make the compiler
// fetch it again.  The page never turns here, so nothing can fail.  Returns
// the bytes taken.
size_t place_byte_triples(paprel_run &run, const uint8_t *bytes, size_t count)
{
    uint64_t k = run.codeword_index;
    const size_t room = k < codewords_per_page ? (codewords_per_page - k) / 2 : 0;
    const size_t triples = count / 3 < room ? count / 3 : room;
    for (size_t t = 0; t < triples; t++, bytes += 3, k += 2) {
        // Both words are 12 bits, so the table needs no mask.
        uint32_t three = (uint32_t)bytes[0] << 16 | (uint32_t)bytes[1] << 8 | bytes[2];
        store_codeword(run, k, golay_table[three >> data_word_bits]);
        store_codeword(run, k + 1, golay_table[three & 0xFFF]);
    }
    run.codeword_index = k;
    return triples * 3;
}

} // namespace

// Groups of three bytes while no bits wait, by the page's room at a time;
// where a group would turn the page, its two words one by one, so that the
// page turns over as for single bits.  The status is looked at only after
// those single words and bytes, the places where a page can turn; it is
// not kept across place_byte_triples, whose loop needs every register.
paprel_status feed_bytes(paprel_run &run, const uint8_t *bytes, size_t count)
{
    size_t i = 0;
    while (i < count) {
        paprel_status status;
        if (run.bit_accumulator == 1 && count - i >= 3) {
            i += place_byte_triples(run, bytes + i, count - i);
            if (count - i < 3)
                continue;
            uint32_t three = (uint32_t)bytes[i] << 16 | (uint32_t)bytes[i + 1] << 8 | bytes[i + 2];
            status = place_data_word(run, three >> data_word_bits);
            if (!failed(status))
                status = place_data_word(run, three & 0xFFF);
            i += 3;
        } else {
            status = feed_byte(run, bytes[i++]);
        }
        if (failed(status))
            return status;
    }
    return paprel_ok;
}

void clear_page_codewords(paprel_run &run)
{
    memset(run.page_codeword_bytes, 0, sizeof run.page_codeword_bytes);
    run.codeword_index = 0;
}

// Every codeword sits at its index, overwriting what an earlier one left
// there.
void place_codeword(paprel_run &run, uint64_t codeword)
{
    store_codeword(run, run.codeword_index, codeword);
}

namespace {

// Draws the bit `mask` of bytes[0 .. count-1] into pixels[0 .. count-1]:
// black for a 1, white for a 0.  In blocks of a fixed 16, which
// the compiler vectorises at -O2 where it leaves a loop of any length
// alone; the rest goes one by one.  The two never overlap (the page or a
// strip of it, and page_codeword_bytes), and the compiler is told so that
// it need not check.
void render_piece(uint8_t *__restrict pixels, const uint8_t *__restrict bytes, uint8_t mask,
                  uint32_t count)
{
    constexpr uint32_t block = 16;
    for (; count >= block; count -= block) {
        for (uint32_t j = 0; j < block; j++)
            pixels[j] = bytes[j] & mask ? 0 : 255;
        pixels += block;
        bytes += block;
    }
    for (uint32_t i = 0; i < count; i++)
        pixels[i] = bytes[i] & mask ? 0 : 255;
}

// Draws bit positions position .. position + count - 1, neighbouring pixels
// of one row from `pixels` on.  A run may cross from the last codeword of
// bit index n to the first of bit index n + 1.
void render_run(const paprel_run &run, uint8_t *pixels, uint32_t position, uint32_t count)
{
    while (count > 0) {
        const uint32_t n = position / codewords_per_page;
        const uint32_t k = position % codewords_per_page;
        const uint32_t piece = count < codewords_per_page - k ? count : codewords_per_page - k;
        render_piece(pixels, &run.page_codeword_bytes[n / 8][k], (uint8_t)(0x80 >> n % 8), piece);
        pixels += piece;
        position += piece;
        count -= piece;
    }
}

} // namespace

// Row by row through the data area: a row through crosses holds 64 runs of
// 18 pixels between its crosses, any other row one run of 1542.  Only bit
// positions are written; crosses, frame and label stay as they are.
void render_page(paprel_run &run)
{
    // The runs of a row through crosses are consecutive bit positions, so
    // they are drawn as one strip and then copied between the crosses: one
    // long loop instead of 64 short ones.
    constexpr uint32_t pixels_between = cross_pitch - 2 * chalf;
    uint8_t strip[(cross_cols - 1) * pixels_between];
    uint32_t position = 0;
    for (uint32_t y = 0; y < data_height; y++) {
        uint8_t *row = &run.page_buffer[(y + border_width) * page_width + border_width];
        if (y % cross_pitch >= 2 * chalf) {
            render_run(run, row, position, data_width);
            position += data_width;
            continue;
        }
        render_run(run, strip, position, sizeof strip);
        position += sizeof strip;
        for (uint32_t i = 0; i + 1 < cross_cols; i++)
            memcpy(row + 2 * chalf + i * cross_pitch, strip + i * pixels_between, pixels_between);
    }
}
