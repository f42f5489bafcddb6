// driver.cpp - the decoder's run from the command line to the last page.
//
// Reads the format string (only its eighth field, the label height,
// matters), prints the format line and the capacity report, then decodes the
// scans "<base>_0001.png", "<base>_0002.png", ... in order until the first
// one that cannot be opened.  Every page passes through the stages on the one
// page_state record below; after each page the debug image is written beside
// the scan.  Standard output carries only payload bytes, written by the
// stages; everything the driver says goes to standard error.
#include "page_state.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

decoder_settings settings = {text_height, page_height, nullptr, 0, 9999};

namespace {

// One record for the whole run: it is about 120 KB, too big for the stack,
// and nothing in it outlives a page.
page_state page;

// Irreparable codewords of all pages so far; any of them fails the run.
uint64_t irreparable_codewords;

const char usage_text[] =
    "\nusage: unpaprel <format> <input filename base>\n\n"
    "Example: scan the pages into PNG (not JPEG!) on 600dpi (or 1200dpi, slightly better)\n\n"
    " scan_0001.png\n scan_0002.png\n scan_0003.png\n ...\n\n"
    "Read the number sequence (format specification) from any of the papers and feed it as 1st "
    "argument to the paprel, 2nd argument is the filename part before the underscore:\n\n"
    "unpaprel 0-65-93-24-3-1-2-24 scan > out.ogg\n\n"
    "out.ogg is just an example of payload file you can have any kind of file instead of that.\n\n";

// The label height is the eighth field; the other seven are read and thrown
// away, and a string that stops early keeps the default.
void read_format(const char *format)
{
    unsigned scratch = 0;
    unsigned eighth = settings.text_height;
    sscanf(format, "%u-%u-%u-%u-%u-%u-%u-%u", &scratch, &scratch, &scratch, &scratch,
           &scratch, &scratch, &scratch, &eighth);
    settings.text_height = eighth;
    fprintf(stderr, "Format: text height=%u\n", settings.text_height);
    // The page height is summed in 32 bits; a label height that makes it
    // wrap (or reach 0) would describe no page at all.
    if (settings.text_height > UINT32_MAX - (data_height + 2 * border_width)) {
        fprintf(stderr, "unpaprel: text height %u is out of range\n", settings.text_height);
        exit(1);
    }
    settings.page_height = (int64_t)(uint32_t)(data_height + 2 * border_width + settings.text_height);
}

// Share of the unformatted page that something other than `per_column`
// page rows takes, in percent.
double border_share(double per_column)
{
    return (1.0 + (-per_column / (double)settings.page_height)) * 100;
}

void print_capacity_report()
{
    // Fixed quotients: data area, channel bits and payload bits per page
    // column (3413988, 3196368 and 1598184 divided by 1546).
    const double q1 = 3413988.0 / 1546.0;
    const double q2 = 3196368.0 / 1546.0;
    const double q3 = 1598184.0 / 1546.0;
    fprintf(stderr, "Unformatted channel capacity %G kB, ",
            (double)settings.page_height * 1546.0 * 0.125 / 1000.0);
    fprintf(stderr, "formatted raw channel capacity %G kB, ", (double)bits_per_page / 8 / 1000);
    fprintf(stderr, "net Golay payload capacity %G kB, ", (double)payload_bits_per_page / 8 / 1000);
    fprintf(stderr, "%lu Golay symbols, ", (unsigned long)codewords_per_page);
    fprintf(stderr, "%lu bits unused (incomplete Hamming symbol), ",
            (unsigned long)(bits_per_page - 24 * codewords_per_page));
    fprintf(stderr, "border taking %G%% of unformatted capacity, ", border_share(q1));
    fprintf(stderr, "border with crosses taking %G%% of unformatted capacity, ", border_share(q2));
    fprintf(stderr, "border with crosses and Golay taking %G%% of unformatted capacity.\n",
            border_share(q3));
}

// The corner search failed: show what it saw (the scan after dirt removal)
// in failure_debug.pgm, in the current directory whatever the base.
[[noreturn]] void take_failure_path()
{
    fprintf(stderr, "See failure_debug.pgm why.\n");
    memcpy(page.work, page.image, (size_t)page.width * page.height);
    dump_debug_image(page, "failure_debug.pgm");
    exit(1);
}

// The stages of one page, in order, up to its reports.
void decode_page()
{
    load_png(page);
    find_levels(page);
    remove_dirt(page);
    if (find_corners(page) != corner_found)
        take_failure_path();
    estimate_geometry(page);
    find_crosses(page);
    condition_image(page);
    mark_geometry(page);
    clear_damage_stats();
    read_page_bits(page);
    report_page_damage();
    // A full disk or a closed pipe must not pass for a decoded page.
    check_output();
}

// Releases the page's buffers around writing its debug image; `base_length`
// is strlen(base), so the scan name ends at base_length + 9.
void finish_page(size_t base_length)
{
    free(page.image);
    page.image = nullptr;
    free(page.search_area);
    page.search_area = nullptr;
    // The buffer's 16 spare bytes hold "_debug.pgm" in place of ".png".
    strcpy(settings.output_base + base_length + 5, "_debug.pgm");
    fprintf(stderr, "Writing debug image into %s.\n", settings.output_base);
    dump_debug_image(page, settings.output_base);
    free(page.work);
    page.work = nullptr;
}

// The page sequence is over: payload bytes known to be wrong must not pass
// for a restored file, nor must a payload that did not reach its file.
[[noreturn]] void end_run()
{
    check_output();
    if (irreparable_codewords > 0) {
        fprintf(stderr, "unpaprel: %lu irreparable codewords, the payload is damaged\n",
                (unsigned long)irreparable_codewords);
        exit(1);
    }
    exit(0);
}

// Opens the scan of settings.page_number; a missing page after the first
// is the normal end of the run.  The name is bounded by the buffer, not by
// four digits, so that a page beyond the limit is named in full.
void open_scan(const char *base, size_t base_length)
{
    snprintf(settings.output_base, base_length + 16, "%s_%04u.png", base, settings.page_number);
    page.scan_file = fopen(settings.output_base, "rb");
    if (page.scan_file)
        return;
    int error = errno;
    if (settings.page_number == 1)
        fprintf(stderr, "unpaprel: cannot open %s: ", settings.output_base);
    free(settings.output_base);
    settings.output_base = nullptr;
    if (settings.page_number > 1)
        end_run();
    errno = error;
    perror("");
    exit(1);
}

} // namespace

int unpaprel_main(int argc, char **argv)
{
    if (argc < 3) {
        fputs(usage_text, stderr);
        return 1;
    }
    read_format(argv[1]);
    print_capacity_report();
    const char *base = argv[2];
    size_t base_length = strlen(base);
    settings.output_base = (char *)malloc(base_length + 16);
    if (!settings.output_base) {
        fprintf(stderr, "unpaprel: cannot allocate output base\n");
        return 1;
    }
    for (settings.page_number = 1;; settings.page_number++) {
        open_scan(base, base_length);
        // Only a page that exists beyond the limit is an error: a complete
        // archive of exactly page_limit pages ends like any other.
        if (settings.page_number > settings.page_limit) {
            fprintf(stderr, "unpaprel: Too many pages - 10,000 or more.\n");
            check_output();
            return 1;
        }
        fprintf(stderr, "Decoding PNG file %s...\n", settings.output_base);
        decode_page();
        irreparable_codewords += page_damage.golay_stats[4];
        finish_page(base_length);
    }
}
