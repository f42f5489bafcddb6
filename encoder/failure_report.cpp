// failure_report.cpp - the message main prints for a failed stage.
//
// One line on standard error for each paprel_failure, naming the input or
// the page file from the run record and, where a system call failed, the
// system's reason for errno as the stage returned it. A page that could
// not be created keeps its old line without a reason; the two refusals of
// a link or an unread FIFO, which plain fopen never gave, show theirs. A
// directory as input adds a line on how to make one file of it. Reads the
// record; writes only standard error.
#include "paprel.h"

#include <cstring>

namespace {

// `format` with `name` for its %s, then the reason for `error` as perror
// would print it.
void print_with_reason(const char *format, const char *name, int error)
{
    fprintf(stderr, format, name);
    fprintf(stderr, "%s\n", strerror(error));
}

// With no error every page of the run is gone; otherwise `page` is the
// first that could not be removed, and it and those after it stay.
void report_changed_input(const char *input, const char *page, int error)
{
    fprintf(stderr, "paprel: input file %s changed size while it was read; ", input);
    if (error == 0)
        fprintf(stderr, "its pages are removed\n");
    else
        print_with_reason("cannot remove %s: ", page, error);
}

// Ends the directory's name: its last component without trailing slashes.
size_t name_end(const char *path)
{
    size_t end = strlen(path);
    while (end > 1 && path[end - 1] == '/')
        end--;
    return end;
}

// paprel takes one file; the archive is named after the directory's last
// component, or "DIR" where that is no name ("/", ".", "..").
void print_directory_hint(const char *path)
{
    const size_t end = name_end(path);
    size_t start = end;
    while (start > 0 && path[start - 1] != '/')
        start--;
    const int length = (int)(end - start);
    const bool named = length > 0 && strncmp(path + start, ".", (size_t)length) != 0 &&
                       strncmp(path + start, "..", (size_t)length) != 0;
    fprintf(stderr,
            "paprel: to keep a directory, make one file of it first: tar -cf - %.*s | xz > ",
            (int)end, path);
    if (named)
        fprintf(stderr, "%.*s.tar.xz\n", length, path + start);
    else
        fprintf(stderr, "DIR.tar.xz\n");
}

} // namespace

void report_failure(const paprel_run &run, paprel_status status)
{
    const char *input = run.input_name;
    const char *page = run.output_filename;
    switch (status.failure) {
    case paprel_failure::none:
        break;
    case paprel_failure::input_open:
        print_with_reason("paprel: cannot open input file %s: ", input, status.error);
        break;
    case paprel_failure::input_seek_end:
        print_with_reason("paprel: cannot seek to the end of %s: ", input, status.error);
        break;
    case paprel_failure::input_seek_start:
        print_with_reason("paprel: cannot seek to the beginning of %s: ", input, status.error);
        break;
    case paprel_failure::input_read:
        print_with_reason("paprel: cannot read input file %s: ", input, status.error);
        break;
    case paprel_failure::spool_create:
        fprintf(stderr, "paprel: cannot create a temporary file in %s for %s: %s\n", run.spool_dir,
                input, strerror(status.error));
        break;
    case paprel_failure::spool_write:
        fprintf(stderr, "paprel: cannot copy %s into a temporary file in %s: %s\n", input,
                run.spool_dir, strerror(status.error));
        break;
    case paprel_failure::name_allocation:
        fprintf(stderr, "Cannot allocate output filename\n");
        break;
    case paprel_failure::page_open:
        fprintf(stderr, "paprel: cannot open %s for writing.\n", page);
        break;
    case paprel_failure::page_refused:
        fprintf(stderr, "paprel: cannot open %s for writing: %s\n", page, strerror(status.error));
        break;
    case paprel_failure::page_write:
        print_with_reason("paprel: cannot write %s: ", page, status.error);
        break;
    case paprel_failure::page_limit:
        fprintf(stderr, "paprel: too many pages - 10,000 or more\n");
        break;
    case paprel_failure::input_changed:
        report_changed_input(input, page, status.error);
        break;
    }
    if (run.input_is_directory)
        print_directory_hint(input);
}
