// paprel.h - the encoder's map: the record of a run and its stages.
//
// paprel reads one payload file and writes it as a numbered series of PGM
// page images. Everything the run knows is one paprel_run record, which
// every stage takes by reference. main (main.cpp) holds the record, opens
// the input and starts page 1 (paprel.cpp), and encode_input passes the
// payload to the bit writer (bit_writer.cpp), which puts its Golay
// codewords onto the page and turns the page when a codeword finds it
// full: the page before is written and the next is the page template
// (page_template.cpp) with a new label. Only one page exists in memory:
// its codewords in page_codeword_bytes and its pixels in page_buffer, both
// reused for every page.
//
// Every failure prints one message to standard error and ends the process
// with status 1; pages finished before it stay on disk.
#ifndef ENCODER_PAPREL_H
#define ENCODER_PAPREL_H

#include "page_format.h"

#include <cstdint>
#include <cstdio>

constexpr uint32_t label_text_size = 118;

// Everything one run of the encoder knows. All zero is a run not yet
// started: open_input and start_pages set the rest. The record has no
// initialisers, so an instance in static storage is zero-filled memory
// that takes no room in the program file.
struct paprel_run {
    // The page being composed: 0 black, 255 white, rows from the top.
    // Aligned to 2 MB so that a large page can back most of it (see
    // prefer_large_pages, asked for before the first page is composed); it
    // comes first because the alignment would put up to 2 MB of padding
    // before it anywhere else.
    alignas(2097152) uint8_t page_buffer[page_pixels];
    // Codewords of the current page by index: bits 23..16 in plane 0,
    // 15..8 in plane 1, 7..0 in plane 2; zero, which renders white, where
    // none was placed.
    uint8_t page_codeword_bytes[3][codewords_per_page];
    uint64_t bit_accumulator;          // collected bits below a sentinel 1
    uint64_t codeword_index;           // codewords already on the current page
    char label_text[label_text_size];  // label line of the current page

    const char *input_name;            // input path, for messages
    FILE *input_file;
    uint32_t page_count;               // pages announced on every label
    uint32_t page_number;              // page being composed, from 1; 0 before the first
    const char *filename_base;         // base of the page file names
    const char *label_name;            // printed at the end of every label
    char *output_filename;             // name of the current page file; malloc'd
    uint32_t output_filename_size;     // bytes of output_filename
    FILE *page_file;
};

// The stages, in the order main runs them.

// Opens the input at `path` and measures it for page_count; a file that
// cannot be used fails here, before any page file exists.
void open_input(paprel_run &run, const char *path);

// Names the page files "<base>_0001.pgm", ..., prints `label` on every
// label, and starts page 1 with its file open and no bits waiting.
void start_pages(paprel_run &run, const char *base, const char *label);

// The payload to its end through the bit writer, then the last page.
void encode_input(paprel_run &run);

// Inside encode_input, in the order a page goes by. The bit writer takes
// the payload a block at a time, and the last few bits one by one:
void feed_bytes(paprel_run &run, const uint8_t *bytes, size_t count);
void feed_bit(paprel_run &run, uint32_t b);

// The bit writer turns the page when a codeword finds it full: new_page
// writes and closes the page before, if any, and opens and composes the
// next, page 1 from the template and a later one by relabelling the page
// just written, with no codewords yet:
void new_page(paprel_run &run);
void format_page(paprel_run &run);
void relabel_page(paprel_run &run);
void clear_page_codewords(paprel_run &run);   // and the index back to codeword 0

// A page's codewords are drawn into page_buffer's data area only when the
// page is written:
void render_page(paprel_run &run);

#endif
