// paprel.cpp - the encoder's driver: the input file and the page files.
//
// Opens the payload and measures it to announce the page count on every
// label, then names, opens, writes and closes the page files
// "<base>_0001.pgm", "<base>_0002.pgm", ... as the bit writer fills them.
// A page file is a PGM image: the header "P5\n1546 2242\n255\n" and then
// the run's page_buffer, one byte per pixel. The input is read once, in
// blocks.
#include "encoder_internals.h"
#include "large_pages.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t max_pages = 9999; // the name format holds four digits

// Prints the message with `name` for its %s, then the system's error text.
[[noreturn]] void fail_with_errno(const char *format, const char *name)
{
    int saved = errno; // the message itself must not change the error shown
    fprintf(stderr, format, name);
    errno = saved;
    perror("");
    exit(1);
}

} // namespace

void open_input(paprel_run &run, const char *path)
{
    run.input_name = path;
    run.input_file = fopen(path, "r");
    if (!run.input_file)
        fail_with_errno("paprel: cannot open input file %s: ", path);
    if (fseek(run.input_file, 0, SEEK_END) != 0)
        fail_with_errno("paprel: cannot seek to the end of %s: ", path);
    int64_t size = ftell(run.input_file);
    if (size < 0)
        fail_with_errno("paprel: cannot seek to the end of %s: ", path);
    // Payload bits over bits per page, a remainder counting as a page; the
    // sum is formed in 64 bits and only the quotient is cut to 32.
    run.page_count = (uint32_t)(((uint64_t)size * 8 + payload_bits_per_page - 1) /
                                payload_bits_per_page);
    if (fseek(run.input_file, 0, SEEK_SET) != 0)
        fail_with_errno("paprel: cannot seek to the beginning of %s: ", path);
    // Read the first byte now: an input that opens and seeks but cannot be
    // read (a directory) must fail before any page file exists.
    int first = fgetc(run.input_file);
    if (first == EOF && ferror(run.input_file))
        fail_with_errno("paprel: cannot read input file %s: ", path);
    // A device such as /dev/zero seeks to 0 and then never ends: it would
    // fill 9999 pages, all labelled with a page count of 0.
    if (first != EOF && size == 0) {
        fprintf(stderr, "paprel: cannot measure the size of %s\n", path);
        exit(1);
    }
    if (first != EOF)
        ungetc(first, run.input_file);
}

void start_pages(paprel_run &run, const char *base, const char *label)
{
    run.filename_base = base;
    run.label_name = label;
    // "_%04u.pgm" adds 9 characters for page numbers up to 9999, plus the
    // terminating zero.
    run.output_filename_size = (uint32_t)strlen(base) + 10;
    run.output_filename = (char *)malloc(run.output_filename_size);
    if (!run.output_filename) {
        fprintf(stderr, "Cannot allocate output filename\n");
        exit(1);
    }
    run.page_number = 0;
    run.bit_accumulator = 1; // the sentinel alone: no bits waiting
    new_page(run);
}

void new_page(paprel_run &run)
{
    if (run.page_number != 0) {
        write_page(run);
        close_page_file(run);
        if (run.page_number >= max_pages) {
            fprintf(stderr, "paprel: too many pages - 10,000 or more\n");
            exit(1);
        }
    }
    run.page_number++;
    snprintf(run.output_filename, run.output_filename_size, "%s_%04u.pgm", run.filename_base,
             run.page_number);
    run.page_file = fopen(run.output_filename, "w");
    if (!run.page_file) {
        fprintf(stderr, "paprel: cannot open %s for writing.\n", run.output_filename);
        exit(1);
    }
    // Only the first page is composed whole; a later one is the page just
    // written with a new label, its bits all redrawn when it is written.
    if (run.page_number == 1) {
        prefer_large_pages(run.page_buffer, sizeof run.page_buffer);
        format_page(run);
    } else {
        relabel_page(run);
    }
    clear_page_codewords(run);
}

// A page that did not reach the disk whole is lost data, so every write
// is checked, although the page goes out in only two pieces.  The page's
// bits are drawn here, once all its codewords are known.
void write_page(paprel_run &run)
{
    render_page(run);
    if (fprintf(run.page_file, "P5\n%u %u\n255\n", page_width, page_height) < 0 ||
        fwrite(run.page_buffer, sizeof run.page_buffer, 1, run.page_file) != 1)
        fail_with_errno("paprel: cannot write %s: ", run.output_filename);
}

// The close flushes the stream's buffer, the last place a write can fail.
void close_page_file(paprel_run &run)
{
    int closed = fclose(run.page_file);
    run.page_file = nullptr;
    if (closed != 0)
        fail_with_errno("paprel: cannot write %s: ", run.output_filename);
}

void encode_input(paprel_run &run)
{
    // Read in blocks rather than a byte per call: the bytes are the same.
    // On the stack, as it lives only while the input is read.
    uint8_t block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, run.input_file)) > 0)
        feed_bytes(run, block, got);
    if (ferror(run.input_file))
        fail_with_errno("paprel: cannot read input file %s: ", run.input_name);
    // Eleven zero bits complete a waiting group of 4 or 8 payload bits into
    // the last codeword and can never complete an empty group.
    for (int i = 0; i < 11; i++)
        feed_bit(run, 0);
    write_page(run);
    close_page_file(run);
}
