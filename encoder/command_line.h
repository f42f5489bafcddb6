// command_line.h - paprel's arguments: what the run is asked to do.
//
// read_command_line sorts the arguments into an action and, for a run that
// encodes, the input, the base and the label; answer_command_line prints
// what the other actions print; warn_about_arguments tells, after a run
// that wrote its pages, what it did differently from what the command line
// seems to ask. All three print only to standard output and error.
#ifndef ENCODER_COMMAND_LINE_H
#define ENCODER_COMMAND_LINE_H

#include "paprel.h"

enum class paprel_action : uint8_t {
    encode,
    usage,          // no arguments: the usage text, status 1
    help,           // --help or -h: the help text on standard output, status 0
    version,        // --version: "paprel 1.0", status 0
    unknown_option, // an argument like an option that names no file
};

struct paprel_command {
    paprel_action action;
    const char *input;      // "-" for standard input
    const char *base;       // of the page file names
    const char *label;      // on every label: the base when one was given
    const char *bad_option; // the unknown option
    int ignored_count;      // arguments after the base, not used
    char *const *ignored;   // the first of them
};

paprel_command read_command_line(int argc, char *const *argv);

// For every action but encode: prints its text and returns the exit status.
int answer_command_line(const paprel_command &command);

// The warnings on standard error: ignored arguments, a base whose
// directories the labels show, a base the labels cut or show in part.
void warn_about_arguments(const paprel_run &run, const paprel_command &command);

#endif
