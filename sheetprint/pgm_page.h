// pgm_page.h - reading one page file written by paprel.
//
// A page file is a binary PGM: "P5", the width 1546, the height 2242 and the
// maxval 255, then one byte per pixel, rows from the top.  paprel writes the
// header as "P5\n1546 2242\n255\n"; other tools that pass the page through
// may space it differently or add comments, which the PGM format allows, so
// any valid PGM header is read, but only a page of exactly this format is
// accepted.  Pixels below 128 print black, the rest white (paprel itself
// writes only 0 and 255).
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
