// driver.cpp - the decoder's run from the command line to the last page.
//
// Reads the command line and the format string (command_line.cpp), then
// decodes the scans "<base>_0001.png", "<base>_0002.png", ... in order until
// the first one that cannot be opened (one that is not a regular file, a
// FIFO or a directory, is refused without waiting on it); with --keep-going
// a missing scan or one without a page frame is written as a page of zero
// bytes and the run goes on while later scans exist or the labels announce
// more pages.  Every
// page goes through decode_page on the one page record below; after each
// page the debug image is written beside the scan (unless --no-debug).  At
// the end the labels are checked against the stack (page_set.h), and once a
// scan was opened a summary line closes standard error when that is a
// terminal or --summary asks for it (never otherwise: the transcripts of
// existing runs stay as they were).  This is the only place that prints a
// failure and chooses the exit status: the stages report what went wrong,
// and the messages for it are here.  Standard output carries only payload
// bytes, written by the stages, and is refused when it is a terminal.
#include "command_line.h"
#include "page_set.h"
#include "page_state.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// One record for the whole run: it is about 120 KB, too big for the stack,
// and nothing in it outlives a page.
page_state page;

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
    case scan_too_large:
        fprintf(stderr,
                "unpaprel: %s has %llu pixels, more than the limit of %llu "
                "(--max-pixels raises it)\n",
                run.scan_name, (unsigned long long)p.failure.bytes,
                (unsigned long long)run.max_pixels);
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
    case crosses_not_found:
        fprintf(stderr,
                "unpaprel: %s shows no registration crosses (%u of %u stand out from the "
                "paper): a blank sheet, or not a page of this format\n",
                run.scan_name, p.crosses_seen, cross_cols * cross_rows);
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
    case debug_image_not_written:
        print_with_error("Warning: cannot write dumpfile %s: ", image_name, p.failure.error);
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

// What a page that could not be decoded says: its failure, and for a
// missing corner what the corner search saw, in failure_debug.pgm in the
// current directory whatever the base.  That image is never larger than
// run.max_pixels: a larger scan is refused before it is loaded.  Releases
// the page.  False when writing the failure image itself failed in a way
// that ends the run.
bool report_page_failure(const decoder_run &run, page_state &p, page_status status)
{
    print_failure(run, p, status, nullptr);
    bool written = true;
    if (status == corner_not_found) {
        const char *name = "failure_debug.pgm";
        fprintf(stderr, "See %s why.\n", name);
        written = debug_image_written(run, p, dump_failure_image(p, name), name);
    }
    release_page(p);
    return written;
}

// Releases the page's buffers around writing its debug image; `base_length`
// is strlen(base), so the scan name ends at base_length + 9.  False when
// the run must end.
bool finish_page(decoder_run &run, page_state &p, size_t base_length)
{
    if (run.no_debug_images) {
        release_page(p);
        return true;
    }
    free(p.image);
    p.image = nullptr;
    free(p.search_area);
    p.search_area = nullptr;
    // The buffer's 16 spare bytes hold "_debug.pgm" in place of ".png".
    strcpy(run.scan_name + base_length + 5, "_debug.pgm");
    fprintf(stderr, "Writing debug image into %s.\n", run.scan_name);
    const bool written =
        debug_image_written(run, p, dump_debug_image(p, run.scan_name), run.scan_name);
    release_page(p);
    return written;
}

// The scans of one run, as the command line names them, and what their
// labels said.
struct scan_stack {
    const char *format; // the format string as given
    const char *base;   // of the scans being read: one of bases[]
    size_t base_length;
    page_set pages;
    uint32_t last_scan; // the highest page number with a scan, once probed
    bool probed;
    const char *const *bases; // --soft: every scan of a page, from each base
    uint32_t base_count;
};

void select_base(scan_stack &stack, uint32_t b)
{
    stack.base = stack.bases[b];
    stack.base_length = strlen(stack.base);
}

// What the page's label said, for the checks of the stack: only a label
// read beyond doubt and of the form paprel writes.
label_reading label_of(const page_state &p)
{
    const page_label &l = p.label;
    const char *tail = strchr(l.text, '/');
    const bool usable = l.read && l.parsed && tail;
    return label_reading{usable, l.page_number, l.page_count, l.name, l.format, tail ? tail : ""};
}

// What a step of the page loop returns to go on with the next page; any
// other value is the run's exit status.
constexpr int next_page = -1;

int no_memory_for_pages()
{
    fprintf(stderr, "unpaprel: cannot allocate the list of pages\n");
    return 1;
}

// The page sequence is over: payload bytes known to be wrong must not pass
// for a restored file, nor must a payload that did not reach its file, nor
// a stack of scans that the labels show to be wrong or incomplete.
int end_run(decoder_run &run, const scan_stack &stack)
{
    if (!check_output(run)) {
        print_failure(run, page, output_not_written, nullptr);
        return 1;
    }
    uint32_t faults = check_page_set(stack.pages, stack.format, stack.base, run.keep_going);
    faults += report_lost_pages(stack.pages);
    if (run.irreparable_codewords > 0) {
        fprintf(stderr, "unpaprel: %lu irreparable codewords, the payload is damaged\n",
                (unsigned long)run.irreparable_codewords);
        faults++;
    }
    return faults > 0 ? 1 : 0;
}

// A scan as the page loop opened it: the file, or nullptr with the reason,
// errno or, for something that is not a regular file, what it is.
struct opened_scan {
    FILE *file;
    int error;
    const char *not_regular;
};

const char *file_kind(mode_t mode)
{
    return S_ISDIR(mode)    ? "a directory"
           : S_ISFIFO(mode) ? "a FIFO"
           : S_ISCHR(mode)  ? "a character device"
           : S_ISBLK(mode)  ? "a block device"
                            : "something";
}

// Opens the scan `name` for reading.  O_NONBLOCK because a FIFO without a
// writer would hold open() for ever; only a regular file is a scan (a
// device or a FIFO may never end, a directory is no image).
opened_scan open_scan(const char *name)
{
    const int fd = open(name, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return {nullptr, errno, nullptr};
    opened_scan scan = {nullptr, 0, nullptr};
    struct stat status;
    if (fstat(fd, &status) != 0)
        scan.error = errno;
    else if (!S_ISREG(status.st_mode))
        scan.not_regular = file_kind(status.st_mode);
    else if (!(scan.file = fdopen(fd, "rb")))
        scan.error = errno;
    if (!scan.file)
        close(fd);
    return scan;
}

// The name of the scan of page `number`, in run.scan_name.  It is bounded
// by the buffer, not by four digits, so that a page beyond the limit is
// named in full.
void name_scan(decoder_run &run, const scan_stack &stack, uint32_t number)
{
    snprintf(run.scan_name, stack.base_length + 16, "%s_%04u.png", stack.base, number);
}

// The highest page number after the current one that has a scan, or 0;
// looked up once, at the first gap of a run that keeps going.
uint32_t last_scan_after_gap(decoder_run &run, scan_stack &stack)
{
    if (stack.probed)
        return stack.last_scan;
    stack.probed = true;
    for (uint32_t n = run.page_limit; n > run.page_number && stack.last_scan == 0; n--) {
        name_scan(run, stack, n);
        const opened_scan scan = open_scan(run.scan_name);
        if (scan.file)
            fclose(scan.file);
        if (scan.file || scan.not_regular)
            stack.last_scan = n;
    }
    name_scan(run, stack, run.page_number);
    return stack.last_scan;
}

// A page counts as lost, and is written as zero bytes, only in a run that
// keeps going, and only while a later scan exists or the labels announce
// more pages.
bool within_stack(decoder_run &run, scan_stack &stack)
{
    return run.keep_going && (run.page_number <= announced_count(stack.pages) ||
                              run.page_number < last_scan_after_gap(run, stack));
}

// The page's place in the payload, kept by zero bytes.
int lose_page(decoder_run &run, scan_stack &stack)
{
    fprintf(stderr, "Page %u is lost; writing it as %u zero bytes.\n", run.page_number,
            payload_bytes_per_page);
    emit_lost_page(run);
    run.pages_lost++;
    return note_page(stack.pages, run.page_number, nullptr) ? next_page : no_memory_for_pages();
}

// The scan of run.page_number cannot be opened: lost within a stack that
// keeps going; otherwise on page 1 a failure, and later the normal end of
// the run.
int missing_scan(decoder_run &run, scan_stack &stack, int error)
{
    if (within_stack(run, stack)) {
        fprintf(stderr, "Scan %s is missing.\n", run.scan_name);
        return lose_page(run, stack);
    }
    if (run.page_number > 1)
        return end_run(run, stack);
    print_with_error("unpaprel: cannot open %s: ", run.scan_name, error);
    return 1;
}

// A scan that is not a regular file is refused; a run that keeps going
// loses the page, as it would a scan libpng cannot read.
void say_not_regular(const decoder_run &run, const char *kind)
{
    fprintf(stderr, "unpaprel: %s is %s, not a regular file\n", run.scan_name, kind);
}

int not_a_scan(decoder_run &run, scan_stack &stack, const char *kind)
{
    say_not_regular(run, kind);
    return run.keep_going ? lose_page(run, stack) : 1;
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

// A page that could not be decoded ends the run, unless the run keeps going
// and the scan itself is at fault (no frame or no crosses found, not a PNG
// file): then the page is lost.
bool scan_at_fault(page_status status)
{
    return status == corner_not_found || status == crosses_not_found || status == scan_unreadable;
}

int page_not_decoded(decoder_run &run, scan_stack &stack, page_status status)
{
    if (!report_page_failure(run, page, status) || !run.keep_going || !scan_at_fault(status))
        return 1;
    return lose_page(run, stack);
}

// A decoded page into the run's counts and the stack's labels; false when
// there is no memory for the label.
bool note_decoded_page(decoder_run &run, scan_stack &stack, const page_state &p)
{
    run.irreparable_codewords += run.damage.golay_stats[4];
    run.corrected_bits += run.damage.black_dirt + run.damage.white_dirt;
    run.pages_decoded++;
    const label_reading label = label_of(p);
    return note_page(stack.pages, run.page_number, &label);
}

// The opened scan of run.page_number through all the stages.
int decode_scan(decoder_run &run, scan_stack &stack, FILE *scan)
{
    fprintf(stderr, "Decoding PNG file %s...\n", run.scan_name);
    page.scan_file = scan;
    const page_status status = decode_page(run, page, nullptr);
    if (status != page_decoded)
        return page_not_decoded(run, stack, status);
    if (!note_decoded_page(run, stack, page))
        return no_memory_for_pages();
    return finish_page(run, page, stack.base_length) ? next_page : 1;
}

// The scans of one page under --soft: a record and the margins for each
// base, allocated for the first page and kept for the run.
struct soft_scans {
    page_state *pages[max_bases];
    float *margins[max_bases];
};
soft_scans soft;

// A page of margins is 12.8 MB: in huge pages where the system has them,
// as faulting it in 4 KB at a time costs more than the clean page's whole
// soft decision.
float *allocate_margins()
{
    constexpr size_t huge_page = 2 << 20;
    const size_t bytes = (bits_per_page * sizeof(float) + huge_page - 1) / huge_page * huge_page;
    void *margins = nullptr;
    if (posix_memalign(&margins, huge_page, bytes) != 0)
        return nullptr;
    madvise(margins, bytes, MADV_HUGEPAGE); // only advice: without it, small pages
    return (float *)margins;
}

bool soft_record_ready(uint32_t b)
{
    if (!soft.pages[b])
        soft.pages[b] = new (std::nothrow) page_state;
    if (!soft.margins[b])
        soft.margins[b] = allocate_margins();
    return soft.pages[b] && soft.margins[b];
}

void release_soft_scans()
{
    for (uint32_t b = 0; b < max_bases; b++) {
        delete soft.pages[b];
        free(soft.margins[b]);
        soft.pages[b] = nullptr;
        soft.margins[b] = nullptr;
    }
}

// How reading one base's scan of the page went.
enum soft_reading { scan_read, scan_absent, scan_refused, run_over };

// Reads the scan of base b into soft record `slot`, its margins into the
// slot's; the scan's name stays in run.scan_name.
soft_reading read_soft_scan(decoder_run &run, scan_stack &stack, uint32_t b, uint32_t slot,
                            int *error)
{
    select_base(stack, b);
    name_scan(run, stack, run.page_number);
    const opened_scan scan = open_scan(run.scan_name);
    if (scan.not_regular) {
        say_not_regular(run, scan.not_regular);
        return scan_refused;
    }
    if (!scan.file) {
        *error = b == 0 ? scan.error : *error;
        return scan_absent;
    }
    run.scan_opened = true;
    if (run.page_number > run.page_limit) {
        too_many_pages(run, scan.file);
        return run_over;
    }
    if (!soft_record_ready(slot)) {
        fclose(scan.file);
        fprintf(stderr, "unpaprel: cannot allocate the margins of %u scans\n", slot + 1);
        return run_over;
    }
    fprintf(stderr, "Decoding PNG file %s...\n", run.scan_name);
    page_state &p = *soft.pages[slot];
    p.scan_file = scan.file;
    const page_status status = sample_page(run, p, soft.margins[slot]);
    if (status != page_decoded)
        return report_page_failure(run, p, status) && scan_at_fault(status) ? scan_refused
                                                                            : run_over;
    // The scan is sampled: only `work` (the debug image) is needed now.
    free(p.image);
    p.image = nullptr;
    return scan_read;
}

// The debug image of every scan read, under its own name.
bool finish_soft_scans(decoder_run &run, scan_stack &stack, const uint32_t *base_of, uint32_t count)
{
    bool written = true;
    for (uint32_t slot = 0; slot < count; slot++) {
        select_base(stack, base_of[slot]);
        name_scan(run, stack, run.page_number);
        written = finish_page(run, *soft.pages[slot], stack.base_length) && written;
    }
    select_base(stack, 0);
    return written;
}

void release_soft_pages(uint32_t count)
{
    for (uint32_t slot = 0; slot < count; slot++)
        release_page(*soft.pages[slot]);
}

// The page's codewords from the summed margins of the scans read, and
// what follows a decoded page.
int correct_soft_page(decoder_run &run, scan_stack &stack, const uint32_t *base_of, uint32_t count)
{
    const margin_scale scale = combine_scans(soft.margins, count);
    clear_damage_stats(run);
    correct_page_softly(run, soft.pages, count, soft.margins[0], scale);
    if (!report_page(run, *soft.pages[0])) {
        print_failure(run, *soft.pages[0], output_not_written, nullptr);
        release_soft_pages(count);
        return 1;
    }
    if (!note_decoded_page(run, stack, *soft.pages[0])) {
        release_soft_pages(count);
        return no_memory_for_pages();
    }
    return finish_soft_scans(run, stack, base_of, count) ? next_page : 1;
}

// Page run.page_number under --soft: the scan of it from every base that
// has one, summed.  A base without the scan, or whose scan shows no page,
// leaves the page to the others; with none left the page is missing or
// lost as a single scan would be.
int decode_soft_page(decoder_run &run, scan_stack &stack)
{
    uint32_t base_of[max_bases], count = 0;
    bool refused = false;
    int error = 0;
    for (uint32_t b = 0; b < stack.base_count; b++) {
        const soft_reading r = read_soft_scan(run, stack, b, count, &error);
        if (r == run_over) {
            release_soft_pages(count);
            return 1;
        }
        refused = refused || r == scan_refused;
        if (r == scan_read)
            base_of[count++] = b;
    }
    select_base(stack, 0);
    name_scan(run, stack, run.page_number);
    if (count > 0)
        return correct_soft_page(run, stack, base_of, count);
    if (refused)
        return run.keep_going ? lose_page(run, stack) : 1;
    return missing_scan(run, stack, error);
}

// Every page from 1 until the first missing one (or, in a run that keeps
// going, the last one the scans or labels show); returns the exit status.
int decode_pages(decoder_run &run, scan_stack &stack)
{
    for (run.page_number = 1;; run.page_number++) {
        if (run.soft) {
            const int step = decode_soft_page(run, stack);
            if (step != next_page)
                return step;
            continue;
        }
        name_scan(run, stack, run.page_number);
        const opened_scan scan = open_scan(run.scan_name);
        run.scan_opened = run.scan_opened || scan.file;
        const int step = scan.not_regular ? not_a_scan(run, stack, scan.not_regular)
                         : !scan.file     ? missing_scan(run, stack, scan.error)
                         : run.page_number > run.page_limit ? too_many_pages(run, scan.file)
                                                            : decode_scan(run, stack, scan.file);
        if (step != next_page)
            return step;
    }
}

// "1 page" or "3 pages", for the summary.
void print_count(uint64_t n, const char *noun, const char *rest)
{
    fprintf(stderr, "%llu %s%s%s", (unsigned long long)n, noun, n == 1 ? "" : "s", rest);
}

// The run's closing line: what a user wants to know after 125 lines a page.
// The pages lost appear only when there are any.  Bytes are those seen
// flushed, so that after a failed write the count does not overstate.
void print_summary(const decoder_run &run)
{
    fputs("unpaprel: ", stderr);
    print_count(run.pages_decoded, "page", " decoded, ");
    if (run.pages_lost > 0)
        print_count(run.pages_lost, "page", " lost, ");
    print_count(run.bytes_written, "byte", " written, ");
    print_count(run.corrected_bits, "bit", " corrected, ");
    print_count(run.irreparable_codewords, "irreparable codeword", "\n");
}

// After a run that lost codewords, where a person reads the summary: what
// may still give them back.
void print_remedy(const decoder_run &run, const scan_stack &stack)
{
    if (run.irreparable_codewords == 0)
        return;
    if (!run.soft)
        fprintf(stderr,
                "unpaprel: --soft weighs how dark each bit was and may give them back; a second "
                "scan of the damaged pages, read with the first, gives more: unpaprel --soft "
                "%s %s RESCAN > restored.bin\n",
                stack.format, stack.bases[0]);
    else if (stack.base_count == 1)
        fprintf(stderr,
                "unpaprel: a second scan of the damaged pages, read with the first, may give "
                "them back: unpaprel --soft %s %s RESCAN > restored.bin\n",
                stack.format, stack.bases[0]);
}

// The payload is binary: on a terminal it would garble the screen and be
// lost, so the run refuses before it reads a scan, as gzip and xz do.
bool output_is_terminal()
{
    if (!isatty(STDOUT_FILENO))
        return false;
    fputs("unpaprel: standard output is a terminal; redirect the payload into a file: "
          "unpaprel FORMAT BASE > restored.bin\n",
          stderr);
    return true;
}

// The answer to --help or --version is on standard output, which must
// have taken it.
int answered(decoder_run &run)
{
    if (check_output(run))
        return 0;
    print_failure(run, page, output_not_written, nullptr);
    return 1;
}

} // namespace

int unpaprel_main(decoder_run &run, int argc, char **argv)
{
    command_line line;
    const command_line_reading reading = read_command_line(run, argc, argv, &line);
    if (reading != line_ready)
        return reading == line_answered ? answered(run) : 1;
    if (output_is_terminal())
        return 1;
    if (line.ignored > 0)
        fprintf(stderr,
                "unpaprel: warning: ignoring %u argument%s after the base (--soft reads them as "
                "scans of the same pages)\n",
                line.ignored, line.ignored == 1 ? "" : "s");
    if (!read_format(run, line.format))
        return 1;
    print_capacity_report(run);
    scan_stack stack{line.format, line.bases[0], strlen(line.bases[0]), page_set{}, 0,
                     false,       line.bases,    line.base_count};
    // Room for the scan names of the longest base.
    size_t longest = 0;
    for (uint32_t b = 0; b < line.base_count; b++)
        longest = strlen(line.bases[b]) > longest ? strlen(line.bases[b]) : longest;
    run.scan_name = (char *)malloc(longest + 16);
    if (!run.scan_name) {
        fprintf(stderr, "unpaprel: cannot allocate output base\n");
        return 1;
    }
    const int status = decode_pages(run, stack);
    if ((run.scan_opened || run.pages_lost > 0) && (run.summary || isatty(STDERR_FILENO))) {
        print_summary(run);
        print_remedy(run, stack);
    }
    release_page_set(stack.pages);
    release_soft_scans();
    free(run.scan_name);
    run.scan_name = nullptr;
    return status;
}
