// scan_warnings.cpp - why a page lost codewords, where the geometry shows
// it, said after the page's report.
//
// Two causes of a page full of irreparable codewords are plain from the
// geometry: bits of fewer than about 1.6 scan pixels, which blur into each
// other (a scan at 300 dpi where 600 were wanted), and a page frame that
// touches the image's edge (the page lies partly off the glass, or the scan
// was cropped into it).  Scans like that can still read well, so the lines
// come only after a page that did lose codewords, which keeps the
// transcript of every page that reads as it was.  Reads the corners and the
// bit sizes; writes a warning line for each cause on standard error.
#include "page_state.h"

#include <cstdio>

namespace {

// Below this many scan pixels per page pixel neighbouring bits run into
// each other; the robustness sweep in the README loses pages from 1.5 on.
// Below one scan pixel the image is no scan of a page at all (a test
// pattern, a frame around nothing), and nothing is said.
constexpr double smallest_sound_bit = 1.6, smallest_page_bit = 1.0;

// Page pixels per inch of a page printed at sheetprint's default size
// (three 600-dpi printer dots per page pixel), to put the bit size in the
// scanner's own terms.
constexpr double default_page_pixels_per_inch = 200.0;

double smaller_bit_side(const page_state &page)
{
    return page.bit_width < page.bit_height ? page.bit_width : page.bit_height;
}

void explain_resolution(const page_state &page)
{
    const double smaller = smaller_bit_side(page);
    if (!(smaller < smallest_sound_bit))
        return;
    fprintf(stderr,
            "Warning: one bit is only %.2f x %.2f scan pixels, as in a scan at about %.0f dpi of a "
            "page printed at sheetprint's default size; bits this small blur into each other: scan "
            "at 600 dpi.\n",
            page.bit_width, page.bit_height, smaller * default_page_pixels_per_inch);
}

// The sides of the image that the frame's corners touch.
void explain_edges(const page_state &page)
{
    const page_corners &c = page.corners;
    const bool off[4] = {c.upper_left.x == 0 || c.lower_left.x == 0,
                         c.upper_left.y == 0 || c.upper_right.y == 0,
                         c.upper_right.x >= page.width || c.lower_right.x >= page.width,
                         c.lower_left.y >= page.height || c.lower_right.y >= page.height};
    const char *const side[4] = {"left", "top", "right", "bottom"};
    uint32_t sides = 0;
    for (bool o : off)
        sides += o;
    if (sides == 0)
        return;
    fputs("Warning: the page frame runs off the scan at the ", stderr);
    for (uint32_t k = 0, said = 0; k < 4; k++) {
        if (!off[k])
            continue;
        fprintf(stderr, "%s%s",
                said == 0           ? ""
                : said + 1 == sides ? " and the "
                                    : ", the ",
                side[k]);
        said++;
    }
    fputs("; scan the whole sheet with white paper around the frame.\n", stderr);
}

} // namespace

void explain_damage(const page_state &page)
{
    if (!(smaller_bit_side(page) >= smallest_page_bit))
        return;
    explain_resolution(page);
    explain_edges(page);
}
