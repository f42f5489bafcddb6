// paprel.cpp - the encoder's driver: the input file and the page files.
//
// Opens the payload and measures it to announce the page count on every
// label, then names, opens, writes and closes the page files
// "<base>_0001.pgm", "<base>_0002.pgm", ... as the bit writer fills them.
// A page file is a PGM image: the header "P5\n1546 2242\n255\n" and then
// page_buffer, one byte per pixel. The input is read once, in blocks.
#include "encoder_internals.h"
#include "large_pages.h"

#include <cerrno>
#include <cstdlib>

const char *filename_base = "paprel_out";
const char *label_name = "";
char *output_filename = nullptr;
uint32_t output_filename_size = 0;
uint32_t page_number = 0;
uint32_t page_count = 0;
const char *input_name = "";
FILE *input_file = nullptr;
FILE *page_file = nullptr;
// Aligned to 2 MB so that a large page can back most of it (see
// prefer_large_pages, asked for before the first page is composed).
alignas(2097152) uint8_t page_buffer[page_pixels];

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

void open_input(const char *path)
{
    input_name = path;
    input_file = fopen(path, "r");
    if (!input_file)
        fail_with_errno("paprel: cannot open input file %s: ", path);
    if (fseek(input_file, 0, SEEK_END) != 0)
        fail_with_errno("paprel: cannot seek to the end of %s: ", path);
    int64_t size = ftell(input_file);
    if (size < 0)
        fail_with_errno("paprel: cannot seek to the end of %s: ", path);
    // Payload bits over bits per page, a remainder counting as a page; the
    // sum is formed in 64 bits and only the quotient is cut to 32.
    page_count = (uint32_t)(((uint64_t)size * 8 + payload_bits_per_page - 1) /
                            payload_bits_per_page);
    if (fseek(input_file, 0, SEEK_SET) != 0)
        fail_with_errno("paprel: cannot seek to the beginning of %s: ", path);
    // Read the first byte now: an input that opens and seeks but cannot be
    // read (a directory) must fail before any page file exists.
    int first = fgetc(input_file);
    if (first == EOF && ferror(input_file))
        fail_with_errno("paprel: cannot read input file %s: ", path);
    // A device such as /dev/zero seeks to 0 and then never ends: it would
    // fill 9999 pages, all labelled with a page count of 0.
    if (first != EOF && size == 0) {
        fprintf(stderr, "paprel: cannot measure the size of %s\n", path);
        exit(1);
    }
    if (first != EOF)
        ungetc(first, input_file);
}

void new_page()
{
    if (page_number != 0) {
        write_page();
        close_page_file();
        if (page_number >= max_pages) {
            fprintf(stderr, "paprel: too many pages - 10,000 or more\n");
            exit(1);
        }
    }
    page_number++;
    snprintf(output_filename, output_filename_size, "%s_%04u.pgm", filename_base, page_number);
    page_file = fopen(output_filename, "w");
    if (!page_file) {
        fprintf(stderr, "paprel: cannot open %s for writing.\n", output_filename);
        exit(1);
    }
    // Only the first page is composed whole; a later one is the page just
    // written with a new label, its bits all redrawn when it is written.
    if (page_number == 1) {
        prefer_large_pages(page_buffer, sizeof page_buffer);
        format_page();
    } else {
        relabel_page();
    }
    clear_page_codewords();
}

// A page that did not reach the disk whole is lost data, so every write
// is checked, although the page goes out in only two pieces.  The page's
// bits are drawn here, once all its codewords are known.
void write_page()
{
    render_page();
    if (fprintf(page_file, "P5\n%u %u\n255\n", page_width, page_height) < 0 ||
        fwrite(page_buffer, sizeof page_buffer, 1, page_file) != 1)
        fail_with_errno("paprel: cannot write %s: ", output_filename);
}

// The close flushes the stream's buffer, the last place a write can fail.
void close_page_file()
{
    int status = fclose(page_file);
    page_file = nullptr;
    if (status != 0)
        fail_with_errno("paprel: cannot write %s: ", output_filename);
}

void encode_input()
{
    // Read in blocks rather than a byte per call: the bytes are the same.
    static uint8_t block[65536];
    size_t got;
    while ((got = fread(block, 1, sizeof block, input_file)) > 0)
        feed_bytes(block, got);
    if (ferror(input_file))
        fail_with_errno("paprel: cannot read input file %s: ", input_name);
    // Eleven zero bits complete a waiting group of 4 or 8 payload bits into
    // the last codeword and can never complete an empty group.
    for (int i = 0; i < 11; i++)
        feed_bit(0);
    write_page();
    close_page_file();
}
