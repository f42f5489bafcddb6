// page_format.h - the one page format that paprel writes and unpaprel reads.
//
// Everything both programs must agree on lives here: the page geometry, the
// grid of registration crosses, the order in which channel bits fill the data
// area, and the extended Golay code (24, 12, 8) that protects every 12 bits.
//
// Coordinates: x grows to the right, y downward.  A page pixel is a pixel of
// the 1546 x 2242 page; data-area coordinates count from page pixel (2, 2).
//
//   page x: 0 1 2 ...................................... 1543 1544 1545
//   y 0,1   ################## top frame ###########################
//   y 2     ## +--------------------------------------------+ ##
//           ## | X.....X.....X   data area 1542 x 2214        | ##
//           ## | (crosses every 24 pixels, 6 x 6, 65 x 93)    | ##
//   y 2215  ## +--------------------------------------------+ ##
//   y 2216  ## | emblem | label text (24 rows, white on black)| ##
//   y 2239  ## +--------------------------------------------+ ##
//   y 2240,1################## bottom frame ########################
//
// A cross (data-area pixels 24i .. 24i+5, 24j .. 24j+5) is black in its
// top-left and bottom-right 3 x 3 quadrants and white in the other two:
//
//   ###...
//   ###...
//   ###...
//   ...###
//   ...###
//   ...###
//
// Bit position p is the p-th non-cross data-area pixel in reading order.
// Bit n (n = 0 for the most significant) of codeword k of a page lies at
// bit position n * codewords_per_page + k, so every codeword is spread over
// the whole height of the page.
#ifndef PAGEFORMAT_PAGE_FORMAT_H
#define PAGEFORMAT_PAGE_FORMAT_H

#include <array>
#include <cstdint>

constexpr uint32_t border_width = 2;
constexpr uint32_t cross_cols = 65;
constexpr uint32_t cross_rows = 93;
constexpr uint32_t cross_pitch = 24;
constexpr uint32_t chalf = 3;
constexpr uint32_t text_height = 24;

constexpr uint32_t data_width = (cross_cols - 1) * cross_pitch + 2 * chalf;
constexpr uint32_t data_height = (cross_rows - 1) * cross_pitch + 2 * chalf;
constexpr uint32_t page_width = data_width + 2 * border_width;
constexpr uint32_t page_height = data_height + 2 * border_width + text_height;
constexpr uint32_t page_pixels = page_width * page_height;

// A data word of 12 bits travels as a codeword of 24.
constexpr uint32_t data_word_bits = 12;
constexpr uint32_t codeword_bits = 24;

constexpr uint32_t cross_pixels = cross_cols * cross_rows * 4 * chalf * chalf;
constexpr uint32_t bits_per_page = data_width * data_height - cross_pixels;
constexpr uint32_t codewords_per_page = bits_per_page / codeword_bits;
constexpr uint32_t payload_bits_per_page = codewords_per_page * data_word_bits;
constexpr uint32_t payload_bytes_per_page = payload_bits_per_page / 8;

// Pages a payload of `bytes` fills, a remainder counting as a page (0 for
// none); in bytes, as a page holds whole bytes, so that no product can
// overflow for any file size.
constexpr uint64_t pages_for_bytes(uint64_t bytes)
{
    return (bytes + payload_bytes_per_page - 1) / payload_bytes_per_page;
}

// The label strip sits directly under the data area, inside the frame.
constexpr uint32_t label_top = border_width + data_height;

// The format string printed on every page: cross_cols, cross_rows,
// cross_pitch, chalf, border_width and text_height between fixed fields.
#define PAGE_FORMAT_STRING "0-65-93-24-3-1-2-24"

static_assert(data_width == 1542 && data_height == 2214, "data area");
static_assert(page_width == 1546 && page_height == 2242, "page size");
static_assert(bits_per_page == 3196368, "channel bits per page");
static_assert(codewords_per_page * codeword_bits == bits_per_page, "whole codewords");
static_assert(payload_bits_per_page == 1598184, "payload bits per page");
static_assert(payload_bits_per_page % 8 == 0, "whole bytes per page");

// Data-area pixel (x, y) of bit position `position`; both -1 when the
// position is bits_per_page or beyond.
void bit_to_pixel(uint32_t position, int32_t *x, int32_t *y);

// True when data-area pixel (x, y) belongs to a registration cross.
bool is_cross(uint32_t x, uint32_t y);

// The 4096 codewords of the extended Golay code, indexed by data word:
// bits 23..12 are the data word itself, bits 11..0 its parity.
extern const std::array<uint64_t, 4096> golay_table;

// Codeword of the low 12 bits of `data_word`.
uint64_t golay_encode(uint64_t data_word);

// Number of set bits among the low 32 bits of v.
uint32_t bit_count(uint64_t v);

#endif
