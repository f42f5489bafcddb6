// print_fixture.h - page files and rendered sheets for the sheetprint tests.
#ifndef TESTS_PRINT_PRINT_FIXTURE_H
#define TESTS_PRINT_PRINT_FIXTURE_H

#include "grey_image.h"

#include <cstdint>
#include <string>
#include <vector>

// A page file with the paprel header and pixels 0 or 255 drawn from `seed`;
// returns the pixels.  No two rows or columns repeat, so a shift, a flip or
// a scale shows.
std::vector<unsigned char> write_random_page(const std::string &path, unsigned seed);

// The full path of program `name` on the PATH, empty when there is none.
std::string find_program(const std::string &name);

// The full path of Ghostscript, empty when it is not installed.
std::string find_ghostscript();

// Renders every page of `document` at 600 dpi grey into PNG files named by
// the printf pattern `png_pattern` (with %04d); true on success.
bool render_sheets(const std::string &gs, const std::string &document,
                   const std::string &png_pattern);

bool read_png(const std::string &path, grey_image *image);

#endif
