// command_line.cpp - reads the decoder's command line and format string.
//
// Options may stand anywhere before the base; an argument that looks like
// an option but is none, or an option's value that is no number, is named,
// before the usage text.  --help and --version answer at once on standard
// output: the help is a fuller text than the usage printed for a wrong
// line, which stays as it always was.  Of the format string only the
// eighth field, the label height, matters: it gives the page's height,
// from which the capacity report is computed.
#include "command_line.h"
#include "version.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

const char usage_text[] =
    "\nusage: unpaprel <format> <input filename base>\n\n"
    "Example: scan the pages into PNG (not JPEG!) on 600dpi (or 1200dpi, slightly better)\n\n"
    " scan_0001.png\n scan_0002.png\n scan_0003.png\n ...\n\n"
    "Read the number sequence (format specification) from any of the papers and feed it as 1st "
    "argument to the paprel, 2nd argument is the filename part before the underscore:\n\n"
    "unpaprel 0-65-93-24-3-1-2-24 scan > out.ogg\n\n"
    "out.ogg is just an example of payload file you can have any kind of file instead of that.\n\n";

const char help_text[] =
    "Usage: unpaprel [OPTION]... FORMAT BASE > FILE\n"
    "       unpaprel --soft [OPTION]... FORMAT BASE [BASE2]... > FILE\n"
    "Restores a file from the scans of pages that paprel wrote: reads BASE_0001.png,\n"
    "BASE_0002.png, ... (grey-scale PNG scans at 600 dpi) until the first one missing,\n"
    "and writes the decoded payload to standard output, 199773 bytes a page; cut the\n"
    "last page's padding with head -c LENGTH.  Measurements and reports go to\n"
    "standard error; a debug image BASE_0001_debug.pgm, ... goes beside every scan.\n"
    "\n"
    "  FORMAT  the number sequence printed on every page, e.g. 0-65-93-24-3-1-2-24\n"
    "  BASE    the scans' names before _0001.png; may contain a directory\n"
    "\n"
    "Options:\n"
    "  --keep-going    write a missing or unreadable page as zero bytes and go on\n"
    "  --labels        print every page's label as read\n"
    "  --max-pixels N  refuse a scan of more than N pixels (default 280000000)\n"
    "  --no-debug      write no debug images (failure_debug.pgm still explains a\n"
    "                  page whose corners are not found)\n"
    "  --summary       end with a summary line on standard error even when it is\n"
    "                  no terminal (on a terminal it is always printed)\n"
    "  --soft          weigh how dark each bit was and take the most likely\n"
    "                  codeword: gives back codewords a blurred or noisy scan\n"
    "                  loses; after BASE, the bases of further scans of the same\n"
    "                  pages (BASE2 ...), whose readings are summed\n"
    "  --help          print this help and exit\n"
    "  --version       print the version and exit\n"
    "\n"
    "Standard output must not be a terminal.  Exit status: 0 when every page was\n"
    "read and corrected and the labels agree with the scans, 1 otherwise.\n"
    "\n"
    "Examples:\n"
    "  unpaprel 0-65-93-24-3-1-2-24 backup > restored.bin\n"
    "  unpaprel --soft 0-65-93-24-3-1-2-24 backup rescan > restored.bin\n";

void print_help()
{
    fputs(help_text, stdout);
}

void print_version()
{
    printf("unpaprel %s\n", program_version);
}

// The options that answer instead of running.
struct option_answer {
    const char *name;
    void (*print)();
};
constexpr option_answer option_answers[] = {
    {"--help", print_help},
    {"--version", print_version},
};

// The options, each a switch of the run.
struct option_switch {
    const char *name;
    bool decoder_run::*setting;
};
constexpr option_switch option_switches[] = {
    {"--keep-going", &decoder_run::keep_going},
    {"--labels", &decoder_run::show_labels},
    {"--no-debug", &decoder_run::no_debug_images},
    {"--summary", &decoder_run::summary},
    {"--soft", &decoder_run::soft},
};

// The options that take a number, the next argument: a positive whole
// number in decimal.
struct option_number {
    const char *name;
    uint64_t decoder_run::*setting;
};
constexpr option_number option_numbers[] = {
    {"--max-pixels", &decoder_run::max_pixels},
};

// The value of a number option, false when `text` is none.
bool read_number(const char *text, uint64_t *value)
{
    if (!text || *text < '0' || *text > '9')
        return false;
    errno = 0;
    char *end = nullptr;
    const unsigned long long number = strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || number == 0)
        return false;
    *value = number;
    return true;
}

enum option_reading { not_an_option, option_read, option_value_bad, option_answered };

// Reads the option at argv[*i], and a number option's value after it.
option_reading read_option(decoder_run &run, int argc, char **argv, int *i)
{
    for (const option_answer &o : option_answers)
        if (strcmp(argv[*i], o.name) == 0) {
            o.print();
            return option_answered;
        }
    for (const option_switch &o : option_switches)
        if (strcmp(argv[*i], o.name) == 0) {
            run.*o.setting = true;
            return option_read;
        }
    for (const option_number &o : option_numbers)
        if (strcmp(argv[*i], o.name) == 0) {
            const char *value = *i + 1 < argc ? argv[++*i] : nullptr;
            if (read_number(value, &(run.*o.setting)))
                return option_read;
            fprintf(stderr, "unpaprel: %s wants a positive whole number, not %s\n", o.name,
                    value ? value : "nothing");
            return option_value_bad;
        }
    return not_an_option;
}

} // namespace

command_line_reading read_command_line(decoder_run &run, int argc, char **argv, command_line *line)
{
    *line = command_line{};
    uint32_t found = 0; // the format and the bases
    for (int i = 1; i < argc; i++) {
        const option_reading option = read_option(run, argc, argv, &i);
        if (option == option_answered)
            return line_answered;
        if (option == option_value_bad) {
            fputs(usage_text, stderr);
            return line_refused;
        }
        if (option == option_read)
            continue;
        if (strncmp(argv[i], "--", 2) == 0) {
            if (found >= 2)
                continue; // after the base, ignored as it always was
            fprintf(stderr, "unpaprel: unknown option %s\n", argv[i]);
            fputs(usage_text, stderr);
            return line_refused;
        }
        if (found == 0)
            line->format = argv[i];
        else if (found <= max_bases)
            line->bases[found - 1] = argv[i];
        found++;
    }
    if (found < 2) {
        fputs(usage_text, stderr);
        return line_refused;
    }
    line->base_count = found - 1 < max_bases ? found - 1 : max_bases;
    if (!run.soft) {
        line->ignored = found - 2;
        line->base_count = 1;
    } else if (found - 1 > max_bases) {
        fprintf(stderr, "unpaprel: --soft takes at most %u scans of a page, not %u\n", max_bases,
                found - 1);
        return line_refused;
    }
    return line_ready;
}

namespace {

// Page rows of a format other than the label strip: the data area and the
// frame above and below it.
constexpr uint32_t rows_without_label = data_height + 2 * border_width;

} // namespace

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

namespace {

// Share of the unformatted page that something other than `per_column`
// page rows takes, in percent.
double border_share(const decoder_run &run, double per_column)
{
    return (1.0 + (-per_column / (double)run.page_height)) * 100;
}

} // namespace

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
