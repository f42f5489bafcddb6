// cli.cpp - fork/exec with redirected streams and small file helpers for the
// command-line tests.
#include "cli.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

void redirect_in_child(const std::string &path, int fd, int flags)
{
    int file = open(path.c_str(), flags, 0644);
    if (file < 0)
        _exit(126);
    dup2(file, fd);
    close(file);
}

namespace {

[[noreturn]] void exec_child(const std::vector<std::string> &argv, const command_options &options,
                             const std::string &out_path, const std::string &err_path)
{
    if (!options.dir.empty() && chdir(options.dir.c_str()) != 0)
        _exit(126);
    redirect_in_child(options.stdin_path.empty() ? "/dev/null" : options.stdin_path, 0, O_RDONLY);
    redirect_in_child(out_path, 1, O_WRONLY | O_CREAT | O_TRUNC);
    redirect_in_child(err_path, 2, O_WRONLY | O_CREAT | O_TRUNC);
    if (options.file_size_limit >= 0) {
        signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {(rlim_t)options.file_size_limit, (rlim_t)options.file_size_limit};
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    exec_in_child(argv);
}

} // namespace

void exec_in_child(const std::vector<std::string> &argv)
{
    std::vector<char *> args;
    for (const std::string &a : argv)
        args.push_back(const_cast<char *>(a.c_str()));
    args.push_back(nullptr);
    execv(args[0], args.data());
    _exit(127);
}

command_result run_command(const std::vector<std::string> &argv, const command_options &options)
{
    std::string scratch = make_temp_dir();
    std::string out_path = options.stdout_path.empty() ? scratch + "/out" : options.stdout_path;
    std::string err_path = scratch + "/err";
    command_result result{-1, "", ""};
    pid_t pid = fork();
    if (pid == 0)
        exec_child(argv, options, out_path, err_path);
    int status = 0;
    if (pid > 0 && waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (options.stdout_path.empty())
        result.out = read_file(out_path);
    result.err = read_file(err_path);
    remove_tree(scratch);
    return result;
}

std::string make_temp_dir()
{
    const char *tmp = getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/paprel-test-XXXXXX";
    if (!mkdtemp(&pattern[0]))
        ADD_FAILURE() << "cannot make a temporary directory";
    return pattern;
}

void remove_tree(const std::string &path)
{
    if (path.size() > 5 && path.find("/paprel-test-") != std::string::npos)
        std::system(("rm -rf '" + path + "'").c_str());
}

std::string read_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream data;
    data << in.rdbuf();
    return data.str();
}

bool ends_with(const std::string &text, const std::string &tail)
{
    return text.size() >= tail.size() &&
           text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

void write_file(const std::string &path, const std::string &data)
{
    std::ofstream out(path, std::ios::binary);
    out.write(data.data(), (std::streamsize)data.size());
    if (!out)
        ADD_FAILURE() << "cannot write " << path;
}

bool file_exists(const std::string &path)
{
    return access(path.c_str(), F_OK) == 0;
}

std::string random_bytes(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (size_t i = 0; i < size; i++) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        data[i] = (char)(state >> 24);
    }
    return data;
}
