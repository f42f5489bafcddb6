// pgm_page.h - reading one page file written by paprel, in sheetprint's words.
//
// A page file is a binary PGM of exactly 1546 x 2242 pixels with maxval 255,
// read by the rule of pgm_file.h: paprel writes the header as
// "P5\n1546 2242\n255\n", other tools that pass the page through may space
// it differently or add comments, and any such header is read.  These
// functions only turn the reader's status into the text sheetprint prints
// after the file's name.  Pixels below 128 print black, the rest white
// (paprel itself writes only 0 and 255).
#ifndef SHEETPRINT_PGM_PAGE_H
#define SHEETPRINT_PGM_PAGE_H

#include <cstdio>

// Reads the header from `file` and checks it.  Returns null when the header
// is that of a paprel page, otherwise a description of what is wrong.  On
// success the file is positioned at the first pixel.
const char *read_pgm_header(FILE *file);

// Reads a whole page file from `file`: the header, then page_pixels bytes
// into `pixels` (owned by the caller), then checks that nothing follows.
// Returns null on success, otherwise a description of what is wrong.
const char *read_pgm_page(FILE *file, unsigned char *pixels);

#endif
