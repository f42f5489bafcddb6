// pgm_read.h - reading one page written by paprel, in paperscan's words.
#ifndef PAPERSCAN_PGM_READ_H
#define PAPERSCAN_PGM_READ_H

#include <cstdint>

// Reads a binary PGM page of page_width x page_height pixels with maxval 255
// by the rule of pgm_file.h (comments and any whitespace allowed in the
// header, nothing after the pixels).  Returns a malloc'd buffer of
// page_pixels bytes, row-major, that the caller frees; or prints one message
// naming `path` to stderr and returns nullptr.
uint8_t *read_page(const char *path);

#endif
