// write_baseline.cpp - the least an encoder of `pages` pages must do: write
// that many files of one page each into a directory, through stdio as paprel
// does, with the PGM header and a page's worth of bytes.
//
//   write_baseline <pages> <filename base>
//
// bench/speed.sh times paprel against this program in the same directory.
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned page_width = 1546, page_height = 2242;
unsigned char page[page_width * page_height];

} // namespace

int main(int argc, char **argv)
{
    if (argc < 3) {
        fprintf(stderr, "usage: write_baseline <pages> <filename base>\n");
        return 1;
    }
    const unsigned pages = (unsigned)atoi(argv[1]);
    size_t name_size = strlen(argv[2]) + 16;
    char *name = (char *)malloc(name_size);
    if (!name)
        return 1;
    memset(page, 255, sizeof page);
    for (unsigned p = 1; p <= pages; p++) {
        page[p % sizeof page] = 0; // pages differ, as paprel's do
        snprintf(name, name_size, "%s_%04u.pgm", argv[2], p);
        FILE *file = fopen(name, "w");
        if (!file || fprintf(file, "P5\n%u %u\n255\n", page_width, page_height) < 0 ||
            fwrite(page, sizeof page, 1, file) != 1 || fclose(file) != 0) {
            perror(name);
            return 1;
        }
    }
    free(name);
    return 0;
}
