// guarded_run.h - running a program on bad input without trusting it.
//
// Like run_command (tests/support/cli.h), but every run has a deadline, after
// which the program is killed and the run counts as a hang; a death by
// signal is told apart from an exit; and standard output can be a pipe
// whose reader has gone, with SIGPIPE left at its default or ignored as a
// caller may ignore it.  When the tests run as root, a run can drop to the
// unprivileged user nobody so that file permissions apply to it.
#ifndef TESTS_HARDENING_GUARDED_RUN_H
#define TESTS_HARDENING_GUARDED_RUN_H

#include <gtest/gtest.h>

#include <string>
#include <vector>

struct guarded_options {
    std::string dir;         // working directory; empty keeps the current one
    std::string stdout_path; // file for standard output; empty captures it
    bool stdout_to_closed_pipe = false;
    bool ignore_sigpipe = false;   // SIG_IGN survives exec, as from a shell's trap
    bool as_nobody = false;        // uid and gid 65534 when started as root;
                                   // status 125 when that is not allowed
    long address_space_limit = -1; // RLIMIT_AS in bytes; -1 none
    int timeout_seconds = 60;
};

struct guarded_result {
    int status = -1; // exit status; -1 when killed by a signal
    int signal = 0;  // the terminating signal, 0 after a normal exit
    bool timed_out = false;
    std::string out, err;
};

guarded_result run_guarded(const std::vector<std::string> &argv,
                           const guarded_options &options = {});

// Success when the run ended by itself with `status`: not killed at the
// deadline, not killed by a signal.  A failure shows the start of its
// standard error.
::testing::AssertionResult ended_with(const guarded_result &result, int status);

#endif
