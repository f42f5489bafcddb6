// command_line_target.cpp - fuzz target: a whole run of unpaprel, from its
// command line to its exit status.
//
// The input holds the arguments and a scan: up to max_arguments strings,
// each ended by a NUL byte, then an empty one (a second NUL in a row), then
// the bytes of a PNG file.  The file is written, its checksums repaired, as
// s_0001.png and s_0003.png into a scratch directory that is the working
// directory during the run: page 2 is missing, so a run that keeps going
// loses a page and reads on, and the page set compares two labels.
// unpaprel_main then runs as main runs it, its payload going to /dev/null
// and its debug images into the scratch directory, which is emptied after
// every run.  An argument holding a '/' is skipped, so that the run reads
// and writes nothing outside it.  As in page_decode_target.cpp, declared
// sizes above max_pixels are skipped and the bit loop reads every 97th
// codeword.  A run must end with status 0 or 1.
#include "fuzz_input.h"
#include "page_state.h"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr uint64_t max_pixels = 2000000;
constexpr size_t max_arguments = 8;
constexpr uint32_t codeword_stride = 97;
const char *const scan_names[] = {"s_0001.png", "s_0003.png"};

char scratch[] = "/tmp/fuzz_command_line.XXXXXX";

// The arguments before the first empty one, and where the scan begins; 0
// when the list has no end, is too long, or names a path.
size_t split_arguments(const uint8_t *data, size_t size, std::vector<std::string> &arguments)
{
    size_t at = 0;
    while (at < size) {
        const uint8_t *end = (const uint8_t *)memchr(data + at, 0, size - at);
        if (!end)
            return 0;
        const size_t length = (size_t)(end - (data + at));
        if (length == 0)
            return at + 1;
        if (arguments.size() == max_arguments || memchr(data + at, '/', length))
            return 0;
        arguments.emplace_back((const char *)data + at, length);
        at += length + 1;
    }
    return 0;
}

bool write_scans(const uint8_t *png, size_t size)
{
    std::vector<uint8_t> copy(png, png + size);
    repair_png_checksums(copy.data(), copy.size());
    for (const char *name : scan_names) {
        FILE *file = fopen(name, "wb");
        if (!file)
            return false;
        const bool written = fwrite(copy.data(), 1, copy.size(), file) == copy.size();
        if (fclose(file) != 0 || !written)
            return false;
    }
    return true;
}

// Everything the run left in the scratch directory (scans, debug images,
// failure_debug.pgm) is removed.
void empty_scratch()
{
    DIR *dir = opendir(scratch);
    if (!dir)
        abort();
    while (dirent *entry = readdir(dir))
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0)
            unlinkat(dirfd(dir), entry->d_name, 0);
    closedir(dir);
}

int run_unpaprel(std::vector<std::string> &arguments)
{
    std::string program = "unpaprel";
    std::vector<char *> argv = {&program[0]};
    for (std::string &argument : arguments)
        argv.push_back(&argument[0]);
    argv.push_back(nullptr);
    decoder_run run;
    run.codeword_step = codeword_stride;
    return unpaprel_main(run, (int)argv.size() - 1, argv.data());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    discard_payload();
    if (!mkdtemp(scratch))
        abort();
    atexit([] { rmdir(scratch); });
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::vector<std::string> arguments;
    const size_t scan = split_arguments(data, size, arguments);
    if (scan == 0 || declared_pixels(data + scan, size - scan) > max_pixels)
        return 0;
    const int home = open(".", O_RDONLY | O_DIRECTORY);
    if (home < 0 || chdir(scratch) != 0)
        abort();
    if (!write_scans(data + scan, size - scan))
        abort();
    const int status = run_unpaprel(arguments);
    empty_scratch();
    if (fchdir(home) != 0)
        abort();
    close(home);
    if (status != 0 && status != 1)
        abort();
    return 0;
}
