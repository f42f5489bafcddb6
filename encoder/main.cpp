// main.cpp - paprel's driver: paprel <input file | -> [filename base].
//
// Reads the command line (command_line.cpp), holds the run's record, runs
// the stages from opening the input to the last page, and alone decides
// what a failure means: it prints the failed stage's message and ends with
// status 1. Writes to standard output only for --help and --version, and
// to standard error on success only warnings about the arguments.
#include "command_line.h"

#include <type_traits>

namespace {

// Zero-filled static storage without initialisation code needs a trivial
// record; one with an initialiser would be written out whole, 4 MB, into
// the program file.
static_assert(std::is_trivial<paprel_run>::value, "the run record is plain data");

} // namespace

int main(int argc, char **argv)
{
    const paprel_command command = read_command_line(argc, argv);
    if (command.action != paprel_action::encode)
        return answer_command_line(command);
    // One run per process, so its record is static: 4 MB is too much for
    // the stack, and static storage gets the page buffer its 2 MB
    // alignment from the linker, with no allocation that could fail and
    // no memory touched before the run touches it.
    static paprel_run run;
    paprel_status status = open_input(run, command.input);
    if (!failed(status))
        status = start_pages(run, command.base, command.label);
    if (!failed(status))
        status = encode_input(run);
    // The warnings follow a run that wrote its pages; a failed run prints
    // its one message as it always has.
    if (failed(status))
        report_failure(run, status);
    else
        warn_about_arguments(run, command);
    end_run(run);
    return failed(status) ? 1 : 0;
}
