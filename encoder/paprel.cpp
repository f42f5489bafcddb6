// paprel.cpp - the encoder's files: the input and the page files.
//
// Opens the payload and measures it to announce the page count on every
// label (an input that seeking cannot measure is spooled first, see
// input_spool.cpp), then names, opens, writes and closes the page files
// "<base>_0001.pgm", "<base>_0002.pgm", ... as the bit writer fills them.
// A page file is a PGM image: the header "P5\n1546 2242\n255\n" and then
// the run's page_buffer, one byte per pixel; it is created without
// following a symbolic link, so a link named like a page cannot make the
// run overwrite another file. The input is read once, in blocks, and must
// give exactly the bytes measured at the start. Every failure is returned
// with errno as the failing call left it; nothing here prints.
#include "encoder_internals.h"
#include "large_pages.h"
#include "output_file.h"
#include "pgm_file.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>

namespace {

// Taken right after the failing call, before anything else can set errno.
paprel_status failure_with_errno(paprel_failure failure)
{
    return {failure, errno};
}

// The two refusals of create_output_file have their own message; any
// other failure to create a page keeps the one it always had.
paprel_status page_open_failure()
{
    const int error = errno;
    if (error == ELOOP || error == ENXIO)
        return {paprel_failure::page_refused, error};
    return {paprel_failure::page_open, error};
}

// The run's pages, from the first to the one being composed, all created
// by this run; stops at the first that cannot be removed, its name left in
// output_filename for the message.
paprel_status remove_pages(paprel_run &run)
{
    if (run.page_file)
        fclose(run.page_file);
    run.page_file = nullptr;
    for (uint32_t n = 1; n <= run.page_number; n++) {
        snprintf(run.output_filename, run.output_filename_size, "%s_%04u.pgm", run.filename_base,
                 n);
        if (remove(run.output_filename) != 0)
            return failure_with_errno(paprel_failure::input_changed);
    }
    return {paprel_failure::input_changed, 0};
}

// Pipes, FIFOs, sockets and character devices do not seek to an end that
// is their size; regular files, block devices and directories do, or fail
// as before.
bool seeking_cannot_measure(FILE *file)
{
    struct stat info;
    if (fstat(fileno(file), &info) != 0)
        return false;
    return S_ISFIFO(info.st_mode) || S_ISCHR(info.st_mode) || S_ISSOCK(info.st_mode);
}

bool is_directory(FILE *file)
{
    struct stat info;
    return fstat(fileno(file), &info) == 0 && S_ISDIR(info.st_mode);
}

// The input's size by seeking to its end, then back to its start with the
// first byte read. `*unmeasured` is set for a file that measures as empty
// but has bytes (a file of /proc), which is then rewound for the spool.
paprel_status measure_input(paprel_run &run, bool *unmeasured)
{
    *unmeasured = false;
    if (fseek(run.input_file, 0, SEEK_END) != 0)
        return failure_with_errno(paprel_failure::input_seek_end);
    int64_t size = ftell(run.input_file);
    if (size < 0)
        return failure_with_errno(paprel_failure::input_seek_end);
    run.input_size = (uint64_t)size;
    if (fseek(run.input_file, 0, SEEK_SET) != 0)
        return failure_with_errno(paprel_failure::input_seek_start);
    // Read the first byte now: an input that opens and seeks but cannot be
    // read (a directory) must fail before any page file exists.
    int first = fgetc(run.input_file);
    if (first == EOF && ferror(run.input_file))
        return failure_with_errno(paprel_failure::input_read);
    if (first != EOF && size == 0) {
        *unmeasured = true;
        if (fseek(run.input_file, 0, SEEK_SET) != 0)
            return failure_with_errno(paprel_failure::input_seek_start);
        return paprel_ok;
    }
    if (first != EOF)
        ungetc(first, run.input_file);
    return paprel_ok;
}

// Counted in bytes (pages_for_bytes), the same count as in bits without
// the product that a sparse file of 2^61 bytes or more would overflow.
// Known now, the limit is refused before the first page rather than after
// 9999 of them; only after the first read, as a directory seeks to an end
// of 2^63 - 1 on some file systems and is refused by the read.
paprel_status count_pages(paprel_run &run)
{
    const uint64_t pages = pages_for_bytes(run.input_size);
    if (pages > max_pages)
        return {paprel_failure::page_limit, 0};
    run.page_count = (uint32_t)pages;
    return paprel_ok;
}

} // namespace

paprel_status open_input(paprel_run &run, const char *path)
{
    const bool standard_input = strcmp(path, "-") == 0;
    run.input_name = standard_input ? "standard input" : path;
    run.input_file = standard_input ? stdin : fopen(path, "r");
    if (!run.input_file)
        return failure_with_errno(paprel_failure::input_open);
    run.input_is_directory = !standard_input && is_directory(run.input_file);
    // Standard input is copied even when it is a regular file, as its
    // bytes begin wherever its offset stands, not at the file's start.
    bool spool = standard_input || seeking_cannot_measure(run.input_file);
    if (!spool) {
        paprel_status status = measure_input(run, &spool);
        if (failed(status))
            return status;
    }
    if (spool) {
        paprel_status status = spool_input(run);
        if (failed(status))
            return status;
        bool unmeasured = false;
        status = measure_input(run, &unmeasured);
        if (failed(status))
            return status;
    }
    return count_pages(run);
}

paprel_status start_pages(paprel_run &run, const char *base, const char *label)
{
    run.filename_base = base;
    run.label_name = label;
    // "_%04u.pgm" adds 9 characters for page numbers up to 9999, plus the
    // terminating zero.
    run.output_filename_size = (uint32_t)strlen(base) + 10;
    run.output_filename = (char *)malloc(run.output_filename_size);
    if (!run.output_filename)
        return {paprel_failure::name_allocation, 0};
    run.page_number = 0;
    run.bit_accumulator = 1; // the sentinel alone: no bits waiting
    return new_page(run);
}

paprel_status new_page(paprel_run &run)
{
    if (run.page_number != 0) {
        paprel_status status = write_page(run);
        if (!failed(status))
            status = close_page_file(run);
        if (failed(status))
            return status;
        if (run.page_number >= max_pages)
            return {paprel_failure::page_limit, 0};
    }
    run.page_number++;
    snprintf(run.output_filename, run.output_filename_size, "%s_%04u.pgm", run.filename_base,
             run.page_number);
    run.page_file = create_output_file(run.output_filename);
    if (!run.page_file)
        return page_open_failure();
    // Only the first page is composed whole; a later one is the page just
    // written with a new label, its bits all redrawn when it is written.
    if (run.page_number == 1) {
        prefer_large_pages(run.page_buffer, sizeof run.page_buffer);
        format_page(run);
    } else {
        relabel_page(run);
    }
    clear_page_codewords(run);
    return paprel_ok;
}

// A page that did not reach the disk whole is lost data, so every write
// is checked, although the page goes out in only two pieces.  The page's
// bits are drawn here, once all its codewords are known.
paprel_status write_page(paprel_run &run)
{
    render_page(run);
    if (!pgm_write(run.page_file, page_width, page_height, run.page_buffer))
        return failure_with_errno(paprel_failure::page_write);
    return paprel_ok;
}

// The close flushes the stream's buffer, the last place a write can fail.
paprel_status close_page_file(paprel_run &run)
{
    int closed = fclose(run.page_file);
    run.page_file = nullptr;
    if (closed != 0)
        return failure_with_errno(paprel_failure::page_write);
    return paprel_ok;
}

paprel_status encode_input(paprel_run &run)
{
    // Read in blocks rather than a byte per call: the bytes are the same.
    // On the stack, as it lives only while the input is read.
    uint8_t block[65536];
    size_t got;
    uint64_t total = 0;
    // Every label announces the count from the size measured at the start;
    // pages from an input that then grew or shrank would carry a wrong
    // count and a file that never existed as a whole, which unpaprel could
    // read back without a word. So they go, all of them: a byte past the
    // size is never put on a page, and a short input is caught at its end.
    while ((got = fread(block, 1, sizeof block, run.input_file)) > 0) {
        total += got;
        if (total > run.input_size)
            return remove_pages(run);
        paprel_status status = feed_bytes(run, block, got);
        if (failed(status))
            return status;
    }
    if (ferror(run.input_file))
        return failure_with_errno(paprel_failure::input_read);
    if (total != run.input_size)
        return remove_pages(run);
    // Eleven zero bits complete a waiting group of 4 or 8 payload bits into
    // the last codeword and can never complete an empty group; that
    // codeword may still find the page full and turn it.
    for (int i = 0; i < 11; i++) {
        paprel_status status = feed_bit(run, 0);
        if (failed(status))
            return status;
    }
    paprel_status status = write_page(run);
    if (failed(status))
        return status;
    return close_page_file(run);
}

// A page file still open belongs to a run that failed: what reached it
// stays, as the close flushes it, and a failure of this close adds nothing
// to the one already reported.
void end_run(paprel_run &run)
{
    if (run.page_file)
        fclose(run.page_file);
    run.page_file = nullptr;
    if (run.input_file)
        fclose(run.input_file);
    run.input_file = nullptr;
    free(run.output_filename);
    run.output_filename = nullptr;
}
