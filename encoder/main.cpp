// main.cpp - paprel's command line: paprel <input file> [filename base].
//
// Holds the run's record, runs the stages from opening the input to the
// last page, and alone decides what a failure means: it prints the
// failed stage's message and ends with status 1. Writes nothing to
// standard output and prints nothing on success.
#include "paprel.h"

#include <type_traits>

namespace {

const char usage_text[] =
    "\nUsage: paprel <input file> [filename base]\n\n"
    "Will take the input file as data payload and produce paprel_out_????.pgm which contain "
    "the input file encoded onto paper, with error correction codes, and automatically split "
    "into multiple files when necessary. Those pgm's are supposed to be printed on laser "
    "printer at least 600 DPI for example using GIMP, or use the included sheetprint to "
    "convert them to PostScript and print for example using a PostScript viewer program.\n\n";

// Zero-filled static storage without initialisation code needs a trivial
// record; one with an initialiser would be written out whole, 4 MB, into
// the program file.
static_assert(std::is_trivial<paprel_run>::value, "the run record is plain data");

} // namespace

int main(int argc, char **argv)
{
    if (argc < 2) {
        fwrite(usage_text, 1, sizeof usage_text - 1, stderr);
        return 1;
    }
    // One run per process, so its record is static: 4 MB is too much for
    // the stack, and static storage gets the page buffer its 2 MB
    // alignment from the linker, with no allocation that could fail and
    // no memory touched before the run touches it.
    static paprel_run run;
    paprel_status status = open_input(run, argv[1]);
    // A base given on the command line is also the name on the labels.
    if (!failed(status))
        status = start_pages(run, argc > 2 ? argv[2] : "paprel_out", argc > 2 ? argv[2] : "");
    if (!failed(status))
        status = encode_input(run);
    if (failed(status))
        report_failure(run, status);
    end_run(run);
    return failed(status) ? 1 : 0;
}
