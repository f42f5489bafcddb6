// main.cpp - paprel's command line: paprel <input file> [filename base].
//
// Reads the arguments, opens and measures the input, and runs the stages
// from the first page to the last. Writes nothing to standard output and
// prints nothing on success.
#include "paprel.h"

#include <cstdlib>
#include <cstring>

namespace {

const char usage_text[] =
    "\nUsage: paprel <input file> [filename base]\n\n"
    "Will take the input file as data payload and produce paprel_out_????.pgm which contain "
    "the input file encoded onto paper, with error correction codes, and automatically split "
    "into multiple files when necessary. Those pgm's are supposed to be printed on laser "
    "printer at least 600 DPI for example using GIMP, or use the included sheetprint to "
    "convert them to PostScript and print for example using a PostScript viewer program.\n\n";

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fwrite(usage_text, 1, sizeof usage_text - 1, stderr);
        return 1;
    }
    open_input(argv[1]);
    if (argc > 2) {
        filename_base = argv[2];
        label_name = argv[2];
    }
    // "_%04u.pgm" adds 9 characters for page numbers up to 9999, plus the
    // terminating zero.
    output_filename_size = (uint32_t)strlen(filename_base) + 10;
    output_filename = (char *)malloc(output_filename_size);
    if (!output_filename) {
        fprintf(stderr, "Cannot allocate output filename\n");
        exit(1);
    }
    new_page();
    encode_input();
    fclose(input_file);
    free(output_filename);
    return 0;
}
