// paprel.h - the encoder's map: the record of a run and its stages.
//
// paprel reads one payload file and writes it as a numbered series of PGM
// page images. Everything the run knows is one paprel_run record, which
// every stage takes by reference. main (main.cpp) reads the command line
// (command_line.h), holds the record, opens the input (copying one that
// cannot be measured, input_spool.cpp) and starts page 1 (paprel.cpp),
// and encode_input passes the payload to the bit writer (bit_writer.cpp),
// which puts its Golay codewords onto the page and turns the page when a
// codeword finds it full: the page before is written and the next is the
// page template (page_template.cpp) with a new label. Only one page exists
// in memory: its codewords in page_codeword_bytes and its pixels in
// page_buffer, both reused for every page.
//
// No stage prints or ends the process (the warnings of command_line.h are
// main's). A stage that fails returns what
// failed at once, and so does every stage that called it, up to main,
// which prints the one message (report_failure) and ends with status 1;
// pages finished before the failure stay on disk, except when the input
// changed under the run (see encode_input).
#ifndef ENCODER_PAPREL_H
#define ENCODER_PAPREL_H

#include "page_format.h"

#include <cstdint>
#include <cstdio>

// What went wrong; each failure has one message (see report_failure).
enum class paprel_failure : uint8_t {
    none,
    input_open,       // the input cannot be opened
    input_seek_end,   // its end cannot be found (a pipe)
    input_seek_start, // it cannot be rewound after the end was found
    input_read,       // it opens but cannot be read (a directory)
    spool_create,     // no temporary file for an input that seeking cannot measure
    spool_write,      // the temporary file cannot take the whole input (a full TMPDIR)
    name_allocation,  // no memory for the page file name
    page_open,        // a page file cannot be created
    page_refused,     // a page's name is a symbolic link or a FIFO nobody reads
    page_write,       // a page file cannot be written whole
    page_limit,       // the payload needs a page 10000
    input_changed,    // the input read is not the size measured at the start
};

// A stage's result: the failure, and errno as the failing call left it
// (0 where no call failed), for the messages that show the system's reason.
// For input_changed the call is the removal of a page that failed.
struct paprel_status {
    paprel_failure failure;
    int error;
};

constexpr paprel_status paprel_ok = {paprel_failure::none, 0};

inline bool failed(paprel_status status)
{
    return status.failure != paprel_failure::none;
}

constexpr uint32_t label_text_size = 118;
constexpr uint32_t max_pages = 9999; // the page file names hold four digits

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
    uint64_t bit_accumulator;         // collected bits below a sentinel 1
    uint64_t codeword_index;          // codewords already on the current page
    char label_text[label_text_size]; // label line of the current page

    const char *input_name;        // input path, or "standard input", for messages
    FILE *input_file;              // the input, or once spooled the temporary copy
    bool input_is_directory;       // for the hint to make one file of it first
    const char *spool_dir;         // TMPDIR or /tmp, once a spool was asked for
    uint64_t input_size;           // bytes measured when the input was opened
    uint32_t page_count;           // pages announced on every label
    uint32_t page_number;          // page being composed, from 1; 0 before the first
    const char *filename_base;     // base of the page file names
    const char *label_name;        // printed at the end of every label
    char *output_filename;         // name of the current page file; malloc'd
    uint32_t output_filename_size; // bytes of output_filename
    FILE *page_file;
};

// The stages, in the order main runs them.

// Opens the input at `path` ("-" for standard input) and measures it for
// page_count; a file that cannot be used, or needs more pages than the
// names can number, fails here, before any page file exists. An input that
// seeking cannot measure (a pipe, a FIFO, a device, standard input) is
// first copied into a temporary file (spool_input), which is measured and
// read instead.
paprel_status open_input(paprel_run &run, const char *path);

// Inside open_input: copies the rest of input_file into an unlinked
// temporary file in $TMPDIR (/tmp without it) and makes that the input,
// rewound. Stops with page_limit as soon as the copy is too long for 9999
// pages, so that an endless device cannot fill the disk.
paprel_status spool_input(paprel_run &run);

// What the label of page `page_number` of `page_count` shows of `name`:
// the characters that get a cell before the strip ends, into `shown`,
// which has room for label_text_size bytes.
void label_shown_name(uint32_t page_number, uint32_t page_count, const char *name, char *shown);

// Names the page files "<base>_0001.pgm", ..., prints `label` on every
// label, and starts page 1 with its file open and no bits waiting.
paprel_status start_pages(paprel_run &run, const char *base, const char *label);

// The payload to its end through the bit writer, then the last page. An
// input that ends before input_size or goes on past it has changed since
// the labels announced their count: every page of the run is removed and
// the run fails with input_changed.
paprel_status encode_input(paprel_run &run);

// The message of a failed stage, on standard error.
void report_failure(const paprel_run &run, paprel_status status);

// Closes what is still open and frees the name, after success or failure.
void end_run(paprel_run &run);

// Inside encode_input, in the order a page goes by. The bit writer takes
// the payload a block at a time, and the last few bits one by one:
paprel_status feed_bytes(paprel_run &run, const uint8_t *bytes, size_t count);
paprel_status feed_bit(paprel_run &run, uint32_t b);

// The bit writer turns the page when a codeword finds it full: new_page
// writes and closes the page before, if any, and opens and composes the
// next, page 1 from the template and a later one by relabelling the page
// just written, with no codewords yet:
paprel_status new_page(paprel_run &run);
void format_page(paprel_run &run);
void relabel_page(paprel_run &run);
void clear_page_codewords(paprel_run &run); // and the index back to codeword 0

// A page's codewords are drawn into page_buffer's data area only when the
// page is written:
void render_page(paprel_run &run);

#endif
