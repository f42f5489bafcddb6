// command_line.h - what a decoder run was asked for: the options, the
// format string and the base of the scans' names, and the report of the
// format's capacity that opens every run's standard error.
#ifndef UNPAPREL_COMMAND_LINE_H
#define UNPAPREL_COMMAND_LINE_H

#include "page_state.h"

// The command line: options anywhere before the base, then the format and
// the base; arguments beyond the base are ignored unless they are options,
// or, under --soft, the bases of further scans of the same pages.
constexpr uint32_t max_bases = 16;
struct command_line {
    const char *format;
    const char *bases[max_bases]; // bases[0] is the base
    uint32_t base_count;
    uint32_t ignored; // arguments after the base not taken
};

// How the command line was read: ready to run, answered (--help or
// --version printed on standard output, the run is over), or refused after
// the usage text or a message on standard error.
enum command_line_reading { line_ready, line_answered, line_refused };

// Sets the run's options and fills `line` when it is ready.
command_line_reading read_command_line(decoder_run &run, int argc, char **argv, command_line *line);

// Takes the label height from the format string and prints the format line;
// false, after a message, when that height describes no page at all.
bool read_format(decoder_run &run, const char *format);

// The capacity line for the run's page height.
void print_capacity_report(const decoder_run &run);

#endif
