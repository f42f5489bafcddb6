// scan_page.h - one page printed and scanned onto the sheet: the whole
// simulation between reading the page and writing the PNG file.
#ifndef PAPERSCAN_SCAN_PAGE_H
#define PAPERSCAN_SCAN_PAGE_H

#include "scan_geometry.h"
#include "scan_options.h"
#include "sheet.h"

#include <cstdint>

// Lays `page` (page_pixels bytes, below 128 black) on the sheet through the
// optics, then adds streaks, dirt, light fall-off and noise.  The randomness comes
// from a seed derived from options.seed and the page's `number` (1 for the
// first), so a run is repeatable page by page.  Prints a message and
// returns false when memory is short.
//
// With blur, dot gain, dust, illumination and noise all 0, paper 1 and
// toner 0, the sheet is an ideal scan: each scan pixel holds the mean of the
// page over its square, exactly where page pixel edges fall on scan pixel
// edges (a whole-number scale, unrotated), and elsewhere within about
// scale / 48 of it (0.056 at scale 2.7): the error of interpolating the
// optics' x profile, whose corners are sharp without blur, between its 12
// samples per page pixel.
bool scan_page(const uint8_t *page, uint32_t number, const scan_options &options,
               const scan_geometry &geometry, sheet *s);

#endif
