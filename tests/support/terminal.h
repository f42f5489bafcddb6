// terminal.h - running a real program on a pseudo-terminal from tests.
//
// A program that behaves differently on a terminal (refusing binary output,
// adding a closing summary) can only be checked where isatty() says yes:
// run_on_terminal gives the child a new pseudo-terminal as its standard
// input, output and error, except standard output when options.stdout_path
// names a file, and returns everything the terminal showed.
#ifndef TESTS_SUPPORT_TERMINAL_H
#define TESTS_SUPPORT_TERMINAL_H

#include "cli.h"

#include <string>
#include <vector>

struct terminal_result {
    int status;         // exit status, or 128 + signal number
    std::string screen; // every byte the program wrote to the terminal
};

// Uses options.dir and options.stdout_path; standard input is the terminal.
terminal_result run_on_terminal(const std::vector<std::string> &argv,
                                const command_options &options = {});

#endif
