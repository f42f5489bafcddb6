// output_file.h - opening the files the programs create, never through a
// symbolic link.
//
// A page, a debug image, failure_debug.pgm or sheetprint's document is
// written where a user or another program may have left a symbolic link
// (in a shared scan directory, in /tmp); fopen(path, "wb") would follow it
// and truncate whatever it points at.  create_output_file refuses a path
// whose last component is a symbolic link (errno ELOOP) and does not wait
// on a FIFO without a reader (errno ENXIO); otherwise it is that fopen.
// The caller owns the FILE and closes it with fclose; on failure it gets
// nullptr and errno, for its own message.
#ifndef PAGEFORMAT_OUTPUT_FILE_H
#define PAGEFORMAT_OUTPUT_FILE_H

#include <cstdio>

FILE *create_output_file(const char *path);

#endif
