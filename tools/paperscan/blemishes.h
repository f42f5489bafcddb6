// blemishes.h - what the glass, the lamp and the sensor add to a clean scan.
#ifndef PAPERSCAN_BLEMISHES_H
#define PAPERSCAN_BLEMISHES_H

#include "scan_geometry.h"
#include "scan_options.h"
#include "sheet.h"

#include <cstdint>

// Dust specks and hairs anywhere on the sheet (margin and page alike), and
// scratches that take the toner off along a line across the page.  Random
// from `seed`.  Prints a message and returns false when memory is short.
bool add_dirt(sheet *s, const scan_options &options, const scan_geometry &geometry, uint64_t seed);

// The white lines of options.streaks, through the whole page and its frame:
// toner taken off along each line as a scratch takes it off, so the line's
// edges are as sharp as the scan pixels allow.  No randomness.  Prints a
// message and returns false when memory is short.
bool add_streaks(sheet *s, const scan_options &options, const scan_geometry &geometry);

// Light falling off towards the right edge and towards the top and bottom,
// then sensor noise; the last step before the sheet is written.
void add_light_and_noise(sheet *s, const scan_options &options, uint64_t seed);

// The share of light that reaches scan pixel (x, y) of a width x height sheet.
double illumination_gain(double loss, uint32_t width, uint32_t height, uint32_t x, uint32_t y);

#endif
