// sheet_output.cpp - checked writing, ASCII85 text and Flate compression.
//
// The output file is created without following a symbolic link, so a link
// left under the document's name cannot make sheetprint overwrite the file
// it points at.
#include "sheet_output.h"
#include "output_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

output_state output;

namespace {

void discard_output()
{
    if (output.file && output.path) {
        fclose(output.file);
        if (output.removable)
            remove(output.path);
    }
    output.file = nullptr;
}

void write_failed()
{
    fatal_errno("cannot write %s", output.path ? output.path : "to standard output");
}

} // namespace

void fatal(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    fputs("sheetprint: ", stderr);
    vfprintf(stderr, format, args);
    fputc('\n', stderr);
    va_end(args);
    discard_output();
    exit(1);
}

void fatal_errno(const char *format, ...)
{
    int error = errno;
    va_list args;
    va_start(args, format);
    fputs("sheetprint: ", stderr);
    vfprintf(stderr, format, args);
    fputs(": ", stderr);
    va_end(args);
    errno = error;
    perror("");
    discard_output();
    exit(1);
}

void open_output(const char *path)
{
    output.offset = 0;
    output.path = path;
    output.file = path ? create_output_file(path) : stdout;
    if (!output.file) {
        output.path = nullptr; // nothing of ours to remove
        fatal_errno("cannot open %s for writing", path);
    }
    struct stat status;
    output.removable = path && fstat(fileno(output.file), &status) == 0 && S_ISREG(status.st_mode);
}

void close_output()
{
    bool failed = fflush(output.file) != 0 || ferror(output.file);
    FILE *file = output.file;
    output.file = nullptr;
    // Closing also reports errors that the buffered writes could not see,
    // such as a full disk on a network file system.
    if (fclose(file) != 0 || failed) {
        if (output.removable)
            remove(output.path);
        fatal_errno("cannot write %s", output.path ? output.path : "to standard output");
    }
}

void out_write(const void *data, size_t size)
{
    if (size != 0 && fwrite(data, 1, size, output.file) != size)
        write_failed();
    output.offset += size;
}

void out_printf(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    int length = vfprintf(output.file, format, args);
    va_end(args);
    if (length < 0)
        write_failed();
    output.offset += (uint64_t)length;
}

namespace {

// A line that starts with '%' would look like a DSC comment to a print
// spooler; ASCII85 decoders skip white space, so such a line gets a space.
void ascii85_put(ascii85_state *state, const char *chars, unsigned count)
{
    for (unsigned i = 0; i < count; i++) {
        if (state->line_length == 0 && chars[i] == '%') {
            out_write(" ", 1);
            state->line_length = 1;
        }
        out_write(&chars[i], 1);
        if (++state->line_length >= 76) {
            out_write("\n", 1);
            state->line_length = 0;
        }
    }
}

// Five base-85 digits of a big-endian group, zero-padded when short.
void ascii85_group(ascii85_state *state, unsigned size)
{
    uint32_t value = 0;
    for (unsigned i = 0; i < 4; i++)
        value = value << 8 | (i < size ? state->group[i] : 0);
    if (size == 4 && value == 0) {
        ascii85_put(state, "z", 1);
        return;
    }
    char chars[5];
    for (int i = 4; i >= 0; i--) {
        chars[i] = (char)('!' + value % 85);
        value /= 85;
    }
    // A short group of n bytes is written as its first n + 1 digits.
    ascii85_put(state, chars, size + 1);
}

} // namespace

void ascii85_write(ascii85_state *state, const unsigned char *data, size_t size)
{
    for (size_t i = 0; i < size; i++) {
        state->group[state->group_size++] = data[i];
        if (state->group_size == 4) {
            ascii85_group(state, 4);
            state->group_size = 0;
        }
    }
}

void ascii85_finish(ascii85_state *state)
{
    if (state->group_size > 0)
        ascii85_group(state, state->group_size);
    state->group_size = 0;
    out_write("~>\n", 3);
    state->line_length = 0;
}

namespace {

void flate_run(flate_stream *stream, int flush)
{
    z_stream &z = stream->zlib;
    int result;
    do {
        z.next_out = stream->chunk;
        z.avail_out = sizeof stream->chunk;
        result = deflate(&z, flush);
        if (result == Z_STREAM_ERROR)
            fatal("compression failed");
        size_t produced = sizeof stream->chunk - z.avail_out;
        if (stream->ascii85)
            ascii85_write(&stream->text, stream->chunk, produced);
        else
            out_write(stream->chunk, produced);
    } while (z.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END));
}

} // namespace

void flate_begin(flate_stream *stream, bool ascii85)
{
    memset(&stream->zlib, 0, sizeof stream->zlib);
    if (deflateInit(&stream->zlib, Z_DEFAULT_COMPRESSION) != Z_OK)
        fatal("cannot start the compression");
    stream->ascii85 = ascii85;
    stream->text = ascii85_state();
}

void flate_write(flate_stream *stream, const unsigned char *data, size_t size)
{
    // zlib counts in unsigned int; the rows handed in are far smaller.
    stream->zlib.next_in = const_cast<unsigned char *>(data);
    stream->zlib.avail_in = (uInt)size;
    flate_run(stream, Z_NO_FLUSH);
}

void flate_finish(flate_stream *stream)
{
    stream->zlib.next_in = nullptr;
    stream->zlib.avail_in = 0;
    flate_run(stream, Z_FINISH);
    deflateEnd(&stream->zlib);
    if (stream->ascii85)
        ascii85_finish(&stream->text);
}
