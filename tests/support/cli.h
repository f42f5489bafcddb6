// cli.h - running the real programs from tests.
//
// run_command forks and executes a program with its standard output and
// standard error sent to files, then returns both as strings with the exit
// status, so a test can compare every byte a user would see.
#ifndef TESTS_SUPPORT_CLI_H
#define TESTS_SUPPORT_CLI_H

#include <string>
#include <vector>

struct command_result {
    int status;      // exit status, or 128 + signal number
    std::string out; // everything written to standard output
    std::string err; // everything written to standard error
};

struct command_options {
    std::string dir;           // working directory; empty keeps the current one
    std::string stdin_path;    // file for standard input; empty gives /dev/null
    std::string stdout_path;   // where standard output goes; empty captures it
    long file_size_limit = -1; // RLIMIT_FSIZE in bytes, SIGXFSZ ignored; -1 none
};

command_result run_command(const std::vector<std::string> &argv,
                           const command_options &options = {});

// In a forked child: opens `path` with `flags` as file descriptor `fd`, or
// ends the child with status 126.
void redirect_in_child(const std::string &path, int fd, int flags);

// A new empty directory under the system's temporary directory.
std::string make_temp_dir();

// Removes a directory tree made by make_temp_dir.
void remove_tree(const std::string &path);

// A directory made by make_temp_dir for as long as the object lives.
struct temp_dir {
    std::string path = make_temp_dir();
    ~temp_dir() { remove_tree(path); }
};

std::string read_file(const std::string &path);
void write_file(const std::string &path, const std::string &data);
bool file_exists(const std::string &path);
// In a forked child: runs argv[0] with the arguments, or ends the child
// with status 127 when it cannot be run.
[[noreturn]] void exec_in_child(const std::vector<std::string> &argv);

// Whether `text` ends with `tail`: a run's last message.
bool ends_with(const std::string &text, const std::string &tail);

// Deterministic pseudo-random bytes (same seed, same bytes).
std::string random_bytes(size_t size, unsigned seed);

#endif
