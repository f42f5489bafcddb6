// output_file.cpp - create_output_file: fopen(path, "wb") without following
// a symbolic link or blocking on a FIFO (see output_file.h).
#include "output_file.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

FILE *create_output_file(const char *path)
{
    // O_NONBLOCK only for the open itself: a FIFO without a reader fails
    // at once instead of hanging; writes are blocking again below.
    const int fd =
        open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return nullptr;
    const int flags = fcntl(fd, F_GETFL);
    FILE *file = nullptr;
    if (flags >= 0 && fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0)
        file = fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        close(fd);
        errno = error;
    }
    return file;
}
