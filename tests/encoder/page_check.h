// page_check.h - reading an encoded page back, independently of the writer.
//
// The tests do not trust the bit writer to check itself: they read codewords
// from page pixels through bit_to_pixel, and read the label line by matching
// each 13-pixel cell of the strip against the label font.
#ifndef TESTS_ENCODER_PAGE_CHECK_H
#define TESTS_ENCODER_PAGE_CHECK_H

#include <cstdint>
#include <string>
#include <vector>

constexpr size_t pgm_header_size = 17;

// Pixel (x, y) of a page, in page coordinates.
uint8_t page_pixel(const uint8_t *pixels, uint32_t x, uint32_t y);

// The 24 bits of codeword k of a page, black pixels read as 1.
uint64_t read_codeword(const uint8_t *pixels, uint32_t k);

// The 98 text cells of the label strip as characters; a cell that matches
// no character is '?'. Cells past the text read as spaces.
std::string read_label(const uint8_t *pixels);

// Expected read_label result for a label line: control and non-ASCII bytes
// dropped, the rest cut or padded with spaces to 98 characters.
std::string label_cells(const std::string &line);

// Payload bytes of whole pages: every codeword must be a valid Golay
// codeword; the data words are joined most significant bit first.
// Returns false (with a gtest failure) on an invalid codeword.
bool read_payload(const std::vector<const uint8_t *> &pages, std::string *payload);

#endif
