// sheetprint.cpp - the command line of sheetprint.
//
// sheetprint turns the PGM pages that paprel writes into one document for
// printing, PostScript or PDF.  It reads the options and the page file
// names, refuses a paper, resolution and dots per pixel that do not fit
// together, checks every page file before it creates the output, and then
// hands the job to the document writer.  It never writes the document over
// one of its pages or any other page of paprel's.  With --cover it reads
// the file a cover sheet describes, and --format-pages adds the page
// format's description; both come before the pages (text_sheets.h).
// Nothing goes to standard output but the document itself, when no output
// file is named and standard output is no terminal, and the text of --help
// and --version.
#include "page_format.h"
#include "pgm_page.h"
#include "print_document.h"
#include "sheet_output.h"
#include "text_sheets.h"
#include "version.h"

#include <getopt.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The usage text is these two parts; --help puts the options that came
// later between them, while a wrong command line gets the short text that
// scripts have always seen.
const char usage_head[] =
    "\nUsage: sheetprint [options] <page.pgm>...\n\n"
    "Converts the PGM pages written by paprel into one document for printing, PostScript or\n"
    "PDF, with every page pixel drawn as an exact square of printer dots.\n\n"
    "  -o FILE    write the document to FILE (default: standard output)\n"
    "  -f FORMAT  ps or pdf (default: pdf when FILE ends in .pdf, otherwise ps)\n"
    "  -p PAPER   a4 or letter (default: a4)\n"
    "  -r DPI     printer resolution in dots per inch (default: 600)\n"
    "  -d DOTS    printer dots per page pixel, across and down (default: 3)\n"
    "  -g DOTS    toner spread compensation: draw each black page pixel DOTS printer dots\n"
    "             narrower and shorter than its cell (default: 0)\n";
const char usage_tail[] =
    "\nPrint the document at actual size (100%), without fit-to-page or any scaling, on a\n"
    "printer set to the same resolution.\n\n"
    "Example: sheetprint -o pages.pdf paprel_out_*.pgm\n\n";

const char help_options[] =
    "  --cover FILE\n"
    "             first a cover sheet in plain text: FILE's name, length in bytes and\n"
    "             SHA-256, the page count and the commands that restore FILE from\n"
    "             the scanned pages\n"
    "  --format-pages\n"
    "             then the description of the page format on sheets of text (the\n"
    "             page files may be left out)\n"
    "  -h         this text on standard error\n"
    "  --help     this text on standard output\n"
    "  --version  print the version of sheetprint\n";

// Asked for with -h the usage text is no error; after a wrong command line
// it is.
[[noreturn]] void usage(int status)
{
    fputs(usage_head, stderr);
    fputs(usage_tail, stderr);
    exit(status);
}

// --help and --version: the text on standard output, checked like the
// document would be.
[[noreturn]] void print_and_exit(const char *first, const char *second, const char *third)
{
    fputs(first, stdout);
    fputs(second, stdout);
    fputs(third, stdout);
    if (fflush(stdout) != 0 || ferror(stdout))
        fatal_errno("cannot write to standard output");
    exit(0);
}

// A wrong option is named before the usage text: a short one as -x, a long
// one as given, up to any "=value".
[[noreturn]] void unknown_option(int option, const char *argument)
{
    if (option > 0 && option < 256)
        fprintf(stderr, "sheetprint: unknown option -%c\n", option);
    else
        fprintf(stderr, "sheetprint: unknown option %.*s\n", (int)strcspn(argument, "="), argument);
    usage(1);
}

struct command_line {
    const char *output_path = nullptr;
    const char *format = nullptr;
    const char *paper = "a4";
    const char *cover = nullptr; // the file the cover sheet describes
    bool format_pages = false;
};

// The values of the long options, beyond every character.
enum : int { option_help = 256, option_version, option_cover, option_format_pages };

const struct option long_options[] = {
    {"help", no_argument, nullptr, option_help},
    {"version", no_argument, nullptr, option_version},
    {"cover", required_argument, nullptr, option_cover},
    {"format-pages", no_argument, nullptr, option_format_pages},
    {nullptr, 0, nullptr, 0},
};

uint32_t parse_count(const char *text, const char *what, uint32_t low, uint32_t high)
{
    errno = 0;
    char *end = nullptr;
    unsigned long value = strtoul(text, &end, 10);
    if (errno != 0 || end == text || *end != '\0' || text[0] == '-' || value < low || value > high)
        fatal("%s must be a whole number from %u to %u, not \"%s\"", what, low, high, text);
    return (uint32_t)value;
}

bool ends_with_pdf(const char *path)
{
    size_t length = strlen(path);
    return length >= 4 && strcasecmp(path + length - 4, ".pdf") == 0;
}

void parse_options(int argc, char **argv, command_line *line, print_job *job)
{
    const char *gain = "0";
    int option;
    opterr = 0;
    // The leading ':' tells a missing argument (still only the usage text)
    // from an unknown option.
    while ((option = getopt_long(argc, argv, ":o:f:p:r:d:g:h", long_options, nullptr)) != -1) {
        switch (option) {
        case 'o':
            line->output_path = optarg;
            break;
        case 'f':
            line->format = optarg;
            break;
        case 'p':
            line->paper = optarg;
            break;
        case 'r':
            job->dpi = parse_count(optarg, "the resolution (-r)", min_dpi, max_dpi);
            break;
        case 'd':
            job->dots = parse_count(optarg, "the dots per pixel (-d)", 1, max_dots);
            break;
        case 'g':
            gain = optarg;
            break;
        case 'h':
            usage(0);
        case option_help:
            print_and_exit(usage_head, help_options, usage_tail);
        case option_version:
            print_and_exit("sheetprint ", program_version, "\n");
        case option_cover:
            line->cover = optarg;
            break;
        case option_format_pages:
            line->format_pages = true;
            break;
        case '?':
            unknown_option(optopt, argv[optind - 1]);
        default:
            usage(1);
        }
    }
    // The gain is checked last: its limit depends on the dots per pixel.
    job->gain = parse_count(gain, "the toner spread compensation (-g)", 0, job->dots - 1);
    job->paper = find_paper(line->paper);
    if (!job->paper)
        fatal("unknown paper \"%s\"; a4 and letter are known", line->paper);
}

bool choose_pdf(const command_line &line)
{
    if (!line.format)
        return line.output_path && ends_with_pdf(line.output_path);
    if (strcmp(line.format, "pdf") == 0)
        return true;
    if (strcmp(line.format, "ps") != 0)
        fatal("unknown format \"%s\"; ps and pdf are known", line.format);
    return false;
}

// Checks every page's header before the output exists, so that a wrong file
// named among the pages costs no half-written document.
void check_pages(const print_job &job)
{
    for (uint32_t i = 0; i < job.page_count; i++) {
        FILE *file = fopen(job.page_files[i], "rb");
        if (!file)
            fatal_errno("cannot open %s", job.page_files[i]);
        const char *problem = read_pgm_header(file);
        fclose(file);
        if (problem)
            fatal("%s: %s", job.page_files[i], problem);
    }
}

// True when `path` is the same file as `other`, by device and inode, so
// that another path or a hard link to it is caught as well as its name.
bool same_file(const struct stat &other, const char *path)
{
    struct stat status;
    return stat(path, &status) == 0 && status.st_dev == other.st_dev &&
           status.st_ino == other.st_ino;
}

// Opening the output truncates it, so an output that is one of the pages
// would be lost before it is read.  A page that is not among them is
// refused too: with "-o *.pgm" the shell puts the first page after -o.
// Only a regular file is read for its header; a FIFO would block the open.
// The file a cover describes is no page, but just as lost.
void check_output_is_no_page(const print_job &job, const char *path, const char *cover)
{
    struct stat status;
    if (!path || stat(path, &status) != 0)
        return; // nothing there to lose; open_output reports what is wrong
    for (uint32_t i = 0; i < job.page_count; i++)
        if (same_file(status, job.page_files[i]))
            fatal("the output %s is the page file %s; not overwriting it", path, job.page_files[i]);
    if (cover && same_file(status, cover))
        fatal("the output %s is the file %s of the cover sheet; not overwriting it", path, cover);
    if (!S_ISREG(status.st_mode))
        return;
    FILE *file = fopen(path, "rb");
    if (!file)
        return;
    const bool page = read_pgm_header(file) == nullptr;
    fclose(file);
    if (page)
        fatal("the output %s is a paprel page; not overwriting it", path);
}

// The cover (from the file as it is now) and the format's description, in
// that order, into `lines`.  The scans in the cover's commands are named
// like the first page file, when it has paprel's form.
void make_text_sheets(const command_line &line, const print_job &job, text_lines *lines)
{
    bool ok = true;
    if (line.cover) {
        cover_facts facts;
        if (!measure_file(line.cover, &facts))
            fatal_errno("cannot read %s", line.cover);
        static char base[256];
        if (job.page_count > 0 && page_file_base(job.page_files[0], base, sizeof base))
            facts.base = base;
        ok = cover_lines(facts, lines);
    }
    if (ok && line.format_pages)
        ok = plain_text_lines(format_description, format_description_size, lines);
    if (!ok)
        fatal("cannot allocate the text sheets");
}

} // namespace

int main(int argc, char **argv)
{
    command_line line;
    static print_job job;
    parse_options(argc, argv, &line, &job);
    if (optind >= argc && !line.cover && !line.format_pages)
        usage(1);
    bool pdf = choose_pdf(line);
    job.layout = compute_layout(*job.paper, job.dpi, job.dots);
    if (!job.layout.fits && optind < argc) {
        print_misfit(stderr, *job.paper, job.dpi, job.dots);
        return 1;
    }
    // paprel numbers its pages with four digits; the limit also bounds the
    // PDF object count.
    if (argc - optind > 9999)
        fatal("%d page files given; at most 9999 are supported", argc - optind);
    job.page_files = argv + optind;
    job.page_count = (uint32_t)(argc - optind);
    // As gzip and xz do: a document is no text to look at, and its
    // megabytes would flood the terminal.
    if (!line.output_path && isatty(STDOUT_FILENO))
        fatal("standard output is a terminal; give -o FILE or redirect it "
              "(sheetprint ... > pages.ps)");
    check_pages(job);
    static text_lines text;
    make_text_sheets(line, job, &text);
    job.text = &text;
    check_output_is_no_page(job, line.output_path, line.cover);
    job.pixels = (unsigned char *)malloc(page_pixels);
    if (!job.pixels || !raster_begin(&job.raster, job.dots, job.gain))
        fatal("cannot allocate the page buffers");
    open_output(line.output_path);
    if (pdf)
        write_pdf(&job);
    else
        write_postscript(&job);
    close_output();
    free_lines(&text);
    raster_end(&job.raster);
    free(job.pixels);
    return 0;
}
