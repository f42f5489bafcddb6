// guarded_run.cpp - fork/exec with a deadline, signal reporting, a broken
// pipe for standard output and an optional drop of root privileges.
#include "guarded_run.h"

#include "cli.h"

#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr uid_t nobody = 65534;

[[noreturn]] void exec_child(const std::vector<std::string> &argv, const guarded_options &options,
                             const std::string &out_path, const std::string &err_path, int pipe_end)
{
    if (!options.dir.empty() && chdir(options.dir.c_str()) != 0)
        _exit(126);
    redirect_in_child("/dev/null", 0, O_RDONLY);
    if (pipe_end >= 0)
        dup2(pipe_end, 1);
    else
        redirect_in_child(out_path, 1, O_WRONLY | O_CREAT | O_TRUNC);
    redirect_in_child(err_path, 2, O_WRONLY | O_CREAT | O_TRUNC);
    signal(SIGPIPE, options.ignore_sigpipe ? SIG_IGN : SIG_DFL);
    if (options.address_space_limit >= 0) {
        struct rlimit limit = {(rlim_t)options.address_space_limit,
                               (rlim_t)options.address_space_limit};
        setrlimit(RLIMIT_AS, &limit);
    }
    if (options.as_nobody && geteuid() == 0 &&
        (setgroups(0, nullptr) != 0 || setgid(nobody) != 0 || setuid(nobody) != 0))
        _exit(125);
    exec_in_child(argv);
}

double seconds_now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (double)t.tv_sec + t.tv_nsec * 1e-9;
}

// Waits for the child until the deadline, then kills it.
void wait_for(pid_t pid, int timeout_seconds, guarded_result &result)
{
    const double deadline = seconds_now() + timeout_seconds;
    int status = 0;
    for (;;) {
        pid_t done = waitpid(pid, &status, WNOHANG);
        if (done == pid)
            break;
        if (done < 0)
            return;
        if (seconds_now() > deadline) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            result.timed_out = true;
            return;
        }
        usleep(2000);
    }
    if (WIFEXITED(status))
        result.status = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
}

} // namespace

guarded_result run_guarded(const std::vector<std::string> &argv, const guarded_options &options)
{
    std::string scratch = make_temp_dir();
    std::string out_path = options.stdout_path.empty() ? scratch + "/out" : options.stdout_path;
    std::string err_path = scratch + "/err";
    int pipe_ends[2] = {-1, -1};
    if (options.stdout_to_closed_pipe && pipe2(pipe_ends, O_CLOEXEC) == 0)
        close(pipe_ends[0]); // the reader is gone before the program starts
    guarded_result result;
    pid_t pid = fork();
    if (pid == 0)
        exec_child(argv, options, out_path, err_path, pipe_ends[1]);
    if (pipe_ends[1] >= 0)
        close(pipe_ends[1]);
    if (pid > 0)
        wait_for(pid, options.timeout_seconds, result);
    if (options.stdout_path.empty() && !options.stdout_to_closed_pipe)
        result.out = read_file(out_path);
    result.err = read_file(err_path);
    remove_tree(scratch);
    return result;
}

::testing::AssertionResult ended_with(const guarded_result &result, int status)
{
    if (result.timed_out)
        return ::testing::AssertionFailure() << "hung until killed";
    if (result.signal != 0)
        return ::testing::AssertionFailure() << "killed by signal " << result.signal;
    if (result.status != status)
        return ::testing::AssertionFailure()
               << "exit status " << result.status << ", not " << status << "; standard error:\n"
               << result.err.substr(0, 2000);
    return ::testing::AssertionSuccess();
}
