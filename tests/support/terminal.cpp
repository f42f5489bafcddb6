// terminal.cpp - forkpty with the terminal's output processing off, so
// that the screen holds the program's bytes as written ("\n", not "\r\n").
#include "terminal.h"

#include <fcntl.h>
#include <pty.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

namespace {

[[noreturn]] void exec_on_terminal(const std::vector<std::string> &argv,
                                   const command_options &options)
{
    struct termios mode;
    if (tcgetattr(STDIN_FILENO, &mode) == 0) {
        mode.c_oflag &= ~(tcflag_t)OPOST;
        tcsetattr(STDIN_FILENO, TCSANOW, &mode);
    }
    if (!options.dir.empty() && chdir(options.dir.c_str()) != 0)
        _exit(126);
    if (!options.stdout_path.empty())
        redirect_in_child(options.stdout_path, 1, O_WRONLY | O_CREAT | O_TRUNC);
    exec_in_child(argv);
}

} // namespace

terminal_result run_on_terminal(const std::vector<std::string> &argv,
                                const command_options &options)
{
    terminal_result result{-1, ""};
    int master = -1;
    const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
    if (pid == 0)
        exec_on_terminal(argv, options);
    if (pid < 0)
        return result;
    // Read while the child writes, or it blocks on a full terminal; Linux
    // ends the reading with EIO once the child has closed its side.
    char buffer[4096];
    for (;;) {
        const ssize_t got = read(master, buffer, sizeof buffer);
        if (got > 0)
            result.screen.append(buffer, (size_t)got);
        else if (got == 0 || errno != EINTR)
            break;
    }
    close(master);
    int status = 0;
    if (waitpid(pid, &status, 0) == pid)
        result.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return result;
}
