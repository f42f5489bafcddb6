// input_spool.cpp - a copy of an input that cannot be measured by seeking.
//
// Every label announces the page count, so the input's size must be known
// before page 1 is written; a pipe, a FIFO or a character device only tell
// it at their end. spool_input reads such an input to its end into a
// temporary file in $TMPDIR (/tmp when it is unset or empty), unlinked as
// soon as it exists so that no exit path, a failure or a signal, leaves it
// behind, and hands that file on as the run's input. Reads run.input_file;
// writes the temporary file and the run's input_file and spool_dir.
// Nothing here prints.
#include "paprel.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// The temporary file, created and unlinked at once, open for writing and
// reading back; null with errno set when it cannot be made.
FILE *create_spool(paprel_run &run)
{
    const char *dir = getenv("TMPDIR");
    run.spool_dir = dir && *dir ? dir : "/tmp";
    char path[4096];
    const int length = snprintf(path, sizeof path, "%s/paprel-XXXXXX", run.spool_dir);
    if (length < 0 || (size_t)length >= sizeof path) {
        errno = ENAMETOOLONG;
        return nullptr;
    }
    const int fd = mkstemp(path);
    if (fd < 0)
        return nullptr;
    unlink(path);
    FILE *file = fdopen(fd, "w+b");
    if (!file) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}

// The rest of `input` into `spool`; page_limit once the copy is longer
// than 9999 pages can hold, which is all an endless device gets.
paprel_status copy_input(FILE *input, FILE *spool)
{
    const uint64_t limit = (uint64_t)max_pages * payload_bytes_per_page;
    uint8_t block[65536];
    uint64_t total = 0;
    size_t got;
    while ((got = fread(block, 1, sizeof block, input)) > 0) {
        total += got;
        if (total > limit)
            return {paprel_failure::page_limit, 0};
        if (fwrite(block, 1, got, spool) != got)
            return {paprel_failure::spool_write, errno};
    }
    if (ferror(input))
        return {paprel_failure::input_read, errno};
    // The last block may still be in the stream's buffer.
    if (fflush(spool) != 0)
        return {paprel_failure::spool_write, errno};
    return paprel_ok;
}

} // namespace

paprel_status spool_input(paprel_run &run)
{
    FILE *spool = create_spool(run);
    if (!spool)
        return {paprel_failure::spool_create, errno};
    paprel_status status = copy_input(run.input_file, spool);
    fclose(run.input_file);
    run.input_file = spool;
    if (failed(status))
        return status;
    if (fseek(spool, 0, SEEK_SET) != 0)
        return {paprel_failure::input_seek_start, errno};
    return paprel_ok;
}
