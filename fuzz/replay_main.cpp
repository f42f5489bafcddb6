// replay_main.cpp - runs a fuzz target over saved inputs without libFuzzer.
//
// Usage: <program> [-v] <file or directory>...  Every file named, and every
// regular file in a directory named, goes once through the target, in name
// order.  The name of each input is printed before it runs, so a crash names
// its input.  The decoder's messages on standard error are discarded unless
// -v is given; a sanitizer's report still reaches the real standard error.
// Exits 1 when an argument cannot be read or no input was replayed.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv);
extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);
// Present only in a sanitizer build: where its reports go.
extern "C" __attribute__((weak)) void __sanitizer_set_report_fd(void *fd);

namespace {

bool collect(const std::string &path, std::vector<std::string> &inputs)
{
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        inputs.push_back(path);
        return true;
    }
    DIR *dir = opendir(path.c_str());
    if (!dir)
        return false;
    std::vector<std::string> names;
    while (dirent *entry = readdir(dir)) {
        std::string name = path + "/" + entry->d_name;
        if (entry->d_name[0] != '.' && stat(name.c_str(), &st) == 0 && S_ISREG(st.st_mode))
            names.push_back(name);
    }
    closedir(dir);
    std::sort(names.begin(), names.end());
    inputs.insert(inputs.end(), names.begin(), names.end());
    return true;
}

// Exactly the file's bytes in a buffer of exactly that size, so that a read
// past the end is caught by the sanitizer as it would be under libFuzzer.
bool replay(const std::string &path, bool quiet, int devnull)
{
    FILE *file = fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::vector<uint8_t> bytes;
    int c;
    while ((c = fgetc(file)) != EOF)
        bytes.push_back((uint8_t)c);
    fclose(file);
    uint8_t *data = (uint8_t *)malloc(bytes.size() + !bytes.size());
    if (!bytes.empty())
        memcpy(data, bytes.data(), bytes.size());
    fprintf(stderr, "replaying %s (%zu bytes)\n", path.c_str(), bytes.size());
    fflush(stderr);
    int saved = dup(2);
    if (quiet)
        dup2(devnull, 2);
    LLVMFuzzerTestOneInput(data, bytes.size());
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    free(data);
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    bool quiet = true;
    std::vector<std::string> inputs;
    for (int i = 1; i < argc; i++) {
        if (strcmp(argv[i], "-v") == 0) {
            quiet = false;
        } else if (!collect(argv[i], inputs)) {
            fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
    }
    int devnull = open("/dev/null", O_WRONLY);
    // The report descriptor is a copy of the real standard error, which
    // stays open while the decoder's messages go to /dev/null.
    if (__sanitizer_set_report_fd)
        __sanitizer_set_report_fd((void *)(intptr_t)dup(2));
    LLVMFuzzerInitialize(&argc, &argv);
    size_t done = 0;
    for (const std::string &path : inputs) {
        if (!replay(path, quiet, devnull)) {
            fprintf(stderr, "cannot read %s\n", path.c_str());
            return 1;
        }
        done++;
    }
    fprintf(stderr, "%zu inputs replayed\n", done);
    return done > 0 ? 0 : 1;
}
