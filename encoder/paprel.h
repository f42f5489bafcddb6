// paprel.h - the encoder's process-wide state and its stages.
//
// paprel reads one payload file and writes it as a numbered series of PGM
// page images. The stages share the state below, one instance for the whole
// run: the driver (paprel.cpp) opens the input and the page files, the page
// template (page_template.cpp) draws the empty page with its label, and the
// bit writer (bit_writer.cpp) puts the Golay codewords of the payload onto
// the page. Only one page exists in memory: its codewords in
// page_codeword_bytes and its pixels in page_buffer, both reused for every page.
//
// Every failure prints one message to standard error and ends the process
// with status 1; pages finished before it stay on disk.
#ifndef ENCODER_PAPREL_H
#define ENCODER_PAPREL_H

#include "page_format.h"

#include <cstdint>
#include <cstdio>

// Driver state (paprel.cpp).
extern const char *filename_base;       // base of the page file names
extern const char *label_name;          // printed at the end of every label
extern char *output_filename;           // name of the current page file; malloc'd by main
extern uint32_t output_filename_size;   // bytes of output_filename
extern uint32_t page_number;            // page being composed, from 1; 0 before the first
extern uint32_t page_count;             // pages announced on every label
extern const char *input_name;          // input path, for messages
extern FILE *input_file;
extern FILE *page_file;
extern uint8_t page_buffer[page_pixels]; // 0 black, 255 white, rows from the top

// Bit writer state (bit_writer.cpp).
extern uint64_t bit_accumulator;        // collected bits below a sentinel 1
extern uint64_t codeword_index;         // codewords already on the current page
// Codewords of the current page by index: bits 23..16 in plane 0, 15..8 in
// plane 1, 7..0 in plane 2; zero, which renders white, where none was
// placed.
extern uint8_t page_codeword_bytes[3][codewords_per_page];

// Page template state (page_template.cpp).
constexpr uint32_t label_text_size = 118;
extern char label_text[label_text_size]; // label line of the current page

// Driver.
void open_input(const char *path);
void new_page();
void encode_input();

// Page template.
void format_page();
void relabel_page();   // a written page, bits left to render_page, as the next

// Bit writer.
void feed_bit(uint32_t b);
void feed_bytes(const uint8_t *bytes, size_t count);
void clear_page_codewords();
void render_page();   // page_codeword_bytes into page_buffer's data area

#endif
