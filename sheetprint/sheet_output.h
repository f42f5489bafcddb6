// sheet_output.h - the one output document and the streams written into it.
//
// Everything sheetprint writes goes through out_write, which counts the bytes
// (PDF cross-reference offsets are taken from that count, so a pipe works as
// well as a file) and ends the program on the first failed write.  A failure
// after the output file was created removes it when it is a regular file: a
// half-written document would print as if it were complete.  (A device or a
// pipe given as the output is of course left alone.)  Image data passes through a
// flate_stream, which compresses it and, for PostScript, wraps the
// compressed bytes in ASCII85 text.
#ifndef SHEETPRINT_SHEET_OUTPUT_H
#define SHEETPRINT_SHEET_OUTPUT_H

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>

struct output_state {
    FILE *file = nullptr;
    const char *path = nullptr; // null for standard output
    bool removable = false;     // a regular file that a failure may remove
    uint64_t offset = 0;        // bytes written so far
};

extern output_state output;

// Opens `path` for writing, or takes standard output when path is null.
void open_output(const char *path);

// Flushes and closes the output, checking both.
void close_output();

void out_write(const void *data, size_t size);
void out_printf(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Prints "sheetprint: " and the message with a newline to standard error,
// removes a partly written output file, and exits with status 1.
[[noreturn]] void fatal(const char *format, ...) __attribute__((format(printf, 1, 2)));

// As fatal, but ends the message with the system's error text.
[[noreturn]] void fatal_errno(const char *format, ...) __attribute__((format(printf, 1, 2)));

// ASCII85 text: groups of four bytes as five characters, lines of 76.
struct ascii85_state {
    unsigned char group[4];
    unsigned group_size = 0;
    unsigned line_length = 0;
};

void ascii85_write(ascii85_state *state, const unsigned char *data, size_t size);
// Encodes the last partial group and writes the end marker "~>".
void ascii85_finish(ascii85_state *state);

struct flate_stream {
    z_stream zlib;
    bool ascii85; // PostScript text instead of raw PDF bytes
    ascii85_state text;
    unsigned char chunk[65536];
};

// The stream must stay at one address from begin to finish.
void flate_begin(flate_stream *stream, bool ascii85);
void flate_write(flate_stream *stream, const unsigned char *data, size_t size);
void flate_finish(flate_stream *stream);

#endif
