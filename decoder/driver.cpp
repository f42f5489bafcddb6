// driver.cpp - the decoder's run from the command line to the last page.
//
// Reads the format string (only its eighth field, the label height,
// matters), prints the format line and the capacity report, then decodes the
// scans "<base>_0001.png", "<base>_0002.png", ... in order until the first
// one that cannot be opened.  Every page goes through decode_page on the one
// page record below; after each page the debug image is written beside the
// scan.  This is the only place that prints a failure and chooses the exit
// status: the stages report what went wrong, and the messages for it are
// here.  Standard output carries only payload bytes, written by the stages.
#include "page_state.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace {

// One record for the whole run: it is about 120 KB, too big for the stack,
// and nothing in it outlives a page.
page_state page;

const char usage_text[] =
    "\nusage: unpaprel <format> <input filename base>\n\n"
    "Example: scan the pages into PNG (not JPEG!) on 600dpi (or 1200dpi, slightly better)\n\n"
    " scan_0001.png\n scan_0002.png\n scan_0003.png\n ...\n\n"
    "Read the number sequence (format specification) from any of the papers and feed it as 1st "
    "argument to the paprel, 2nd argument is the filename part before the underscore:\n\n"
    "unpaprel 0-65-93-24-3-1-2-24 scan > out.ogg\n\n"
    "out.ogg is just an example of payload file you can have any kind of file instead of that.\n\n";

// Page rows of a format other than the label strip: the data area and the
// frame above and below it.
constexpr uint32_t rows_without_label = data_height + 2 * border_width;

// The label height is the eighth field; the other seven are read and thrown
// away, and a string that stops early keeps the default.  False when the
// label height describes no page at all.
bool read_format(decoder_run &run, const char *format)
{
    unsigned scratch = 0;
    unsigned eighth = run.text_height;
    sscanf(format, "%u-%u-%u-%u-%u-%u-%u-%u", &scratch, &scratch, &scratch, &scratch, &scratch,
           &scratch, &scratch, &eighth);
    run.text_height = eighth;
    fprintf(stderr, "Format: text height=%u\n", run.text_height);
    // The page height is summed in 32 bits; a label height that makes it
    // wrap (or reach 0) would describe no page at all.
    if (run.text_height > UINT32_MAX - rows_without_label) {
        fprintf(stderr, "unpaprel: text height %u is out of range\n", run.text_height);
        return false;
    }
    run.page_height = (int64_t)(uint32_t)(rows_without_label + run.text_height);
    return true;
}

// Share of the unformatted page that something other than `per_column`
// page rows takes, in percent.
double border_share(const decoder_run &run, double per_column)
{
    return (1.0 + (-per_column / (double)run.page_height)) * 100;
}

void print_capacity_report(const decoder_run &run)
{
    // Fixed quotients: data area, channel bits and payload bits per page
    // column (3413988, 3196368 and 1598184 divided by 1546).
    const double q1 = (double)(data_width * data_height) / page_width;
    const double q2 = (double)bits_per_page / page_width;
    const double q3 = (double)payload_bits_per_page / page_width;
    fprintf(stderr, "Unformatted channel capacity %G kB, ",
            (double)run.page_height * page_width * 0.125 / 1000.0);
    fprintf(stderr, "formatted raw channel capacity %G kB, ", (double)bits_per_page / 8 / 1000);
    fprintf(stderr, "net Golay payload capacity %G kB, ", (double)payload_bits_per_page / 8 / 1000);
    fprintf(stderr, "%lu Golay symbols, ", (unsigned long)codewords_per_page);
    fprintf(stderr, "%lu bits unused (incomplete Hamming symbol), ",
            (unsigned long)(bits_per_page - codeword_bits * codewords_per_page));
    fprintf(stderr, "border taking %G%% of unformatted capacity, ", border_share(run, q1));
    fprintf(stderr, "border with crosses taking %G%% of unformatted capacity, ",
            border_share(run, q2));
    fprintf(stderr, "border with crosses and Golay taking %G%% of unformatted capacity.\n",
            border_share(run, q3));
}

// `format` with `name` for its %s, then the system's text for `error`.
void print_with_error(const char *format, const char *name, int error)
{
    fprintf(stderr, format, name);
    errno = error;
    perror("");
}

void print_with_error(const char *text, int error)
{
    print_with_error("%s", text, error);
}

// The message of every status that ends the run.  Returns false for the
// debug image that could not be opened, a warning that lets the run go on.
bool print_failure(const decoder_run &run, const page_state &p, page_status status,
                   const char *image_name)
{
    switch (status) {
    case scan_unreadable:
        fprintf(stderr, "unpaprel: cannot read PNG file %s: %s\n", run.scan_name, p.failure.reason);
        break;
    case frames_not_allocated:
        fprintf(stderr, "Cannot allocate framebuffers.\n");
        break;
    case row_table_not_allocated:
        fprintf(stderr, "Cannot allocate %lu bytes for auxilliary buffer\n",
                (unsigned long)p.failure.bytes);
        break;
    case fill_stack_not_allocated:
        fprintf(stderr, "Cannot allocate the fill que.\n");
        break;
    case corner_not_found:
        fprintf(stderr, "Error: cannot find %s corner\n", corner_name(p.failure.corner));
        break;
    case search_area_not_allocated:
        fprintf(stderr, "Cannot allocate search area of %lu bytes\n",
                (unsigned long)p.failure.bytes);
        break;
    case gamma_table_not_allocated:
        fprintf(stderr, "Cannot allocated gamma table of 256 bytes!\n");
        break;
    case output_not_written:
        print_with_error("unpaprel: cannot write output: ", run.output_error);
        break;
    case debug_image_not_opened:
        print_with_error("Warning: cannot open dumpfile %s: ", image_name, p.failure.error);
        return false;
    case page_decoded:
        return false;
    }
    return true;
}

// Reports how writing the debug image `name` went; false when that ends
// the run (one that cannot be opened is only a warning).
bool debug_image_written(const decoder_run &run, const page_state &p, page_status status,
                         const char *name)
{
    return !print_failure(run, p, status, name);
}

// A page that could not be decoded ends the run; a missing corner also
// shows what the corner search saw, in failure_debug.pgm in the current
// directory whatever the base.  Returns the exit status.
int fail_page(const decoder_run &run, page_state &p, page_status status)
{
    print_failure(run, p, status, nullptr);
    if (status == corner_not_found) {
        const char *name = "failure_debug.pgm";
        fprintf(stderr, "See %s why.\n", name);
        debug_image_written(run, p, dump_failure_image(p, name), name);
    }
    release_page(p);
    return 1;
}

// Releases the page's buffers around writing its debug image; `base_length`
// is strlen(base), so the scan name ends at base_length + 9.  False when
// the run must end.
bool finish_page(decoder_run &run, size_t base_length)
{
    free(page.image);
    page.image = nullptr;
    free(page.search_area);
    page.search_area = nullptr;
    // The buffer's 16 spare bytes hold "_debug.pgm" in place of ".png".
    strcpy(run.scan_name + base_length + 5, "_debug.pgm");
    fprintf(stderr, "Writing debug image into %s.\n", run.scan_name);
    const bool written =
        debug_image_written(run, page, dump_debug_image(page, run.scan_name), run.scan_name);
    release_page(page);
    return written;
}

// The page sequence is over: payload bytes known to be wrong must not pass
// for a restored file, nor must a payload that did not reach its file.
int end_run(decoder_run &run)
{
    if (!check_output(run)) {
        print_failure(run, page, output_not_written, nullptr);
        return 1;
    }
    if (run.irreparable_codewords > 0) {
        fprintf(stderr, "unpaprel: %lu irreparable codewords, the payload is damaged\n",
                (unsigned long)run.irreparable_codewords);
        return 1;
    }
    return 0;
}

// Opens the scan of run.page_number; null when there is none.  The name is
// bounded by the buffer, not by four digits, so that a page beyond the limit
// is named in full.
FILE *open_scan(decoder_run &run, const char *base, size_t base_length)
{
    snprintf(run.scan_name, base_length + 16, "%s_%04u.png", base, run.page_number);
    return fopen(run.scan_name, "rb");
}

// The page that could not be opened: on page 1 a failure, later the normal
// end of the run.
int missing_scan(decoder_run &run, int error)
{
    if (run.page_number > 1)
        return end_run(run);
    print_with_error("unpaprel: cannot open %s: ", run.scan_name, error);
    return 1;
}

// Only a page that exists beyond the limit is an error: a complete archive
// of exactly page_limit pages ends like any other.
int too_many_pages(decoder_run &run, FILE *scan)
{
    fclose(scan);
    fprintf(stderr, "unpaprel: Too many pages - 10,000 or more.\n");
    if (!check_output(run))
        print_failure(run, page, output_not_written, nullptr);
    return 1;
}

// Every page from 1 until the first missing one; returns the exit status.
int decode_pages(decoder_run &run, const char *base, size_t base_length)
{
    for (run.page_number = 1;; run.page_number++) {
        FILE *scan = open_scan(run, base, base_length);
        if (!scan)
            return missing_scan(run, errno);
        if (run.page_number > run.page_limit)
            return too_many_pages(run, scan);
        fprintf(stderr, "Decoding PNG file %s...\n", run.scan_name);
        page.scan_file = scan;
        const page_status status = decode_page(run, page, nullptr);
        if (status != page_decoded)
            return fail_page(run, page, status);
        run.irreparable_codewords += run.damage.golay_stats[4];
        if (!finish_page(run, base_length))
            return 1;
    }
}

} // namespace

int unpaprel_main(decoder_run &run, int argc, char **argv)
{
    // The one option comes first (frame_gaps.cpp).
    if (argc > 1 && strcmp(argv[1], "--close-gaps") == 0) {
        run.close_frame_gaps = true;
        argc--, argv++;
    }
    if (argc < 3) {
        fputs(usage_text, stderr);
        return 1;
    }
    if (!read_format(run, argv[1]))
        return 1;
    print_capacity_report(run);
    const char *base = argv[2];
    const size_t base_length = strlen(base);
    run.scan_name = (char *)malloc(base_length + 16);
    if (!run.scan_name) {
        fprintf(stderr, "unpaprel: cannot allocate output base\n");
        return 1;
    }
    const int status = decode_pages(run, base, base_length);
    free(run.scan_name);
    run.scan_name = nullptr;
    return status;
}
