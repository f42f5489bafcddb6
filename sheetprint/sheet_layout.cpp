// sheet_layout.cpp - size and placement of the page bitmap on the sheet.
//
// Offsets are whole printer dots counted from the sheet's lower-left corner,
// the origin of both PostScript and PDF.  A renderer whose dot grid starts
// there then puts every page pixel on exactly `dots` x `dots` dots; an offset
// of a fraction of a dot would make some pixels one dot wider than others.
#include "sheet_layout.h"

#include "page_format.h"

#include <array>
#include <cstring>
#include <strings.h>

namespace {

// Whole points, as PostScript and PDF software name these sizes.
constexpr std::array<paper_size, 2> papers = {{
    {"a4", "A4", 595, 842},
    {"letter", "Letter", 612, 792},
}};

// The resolutions offered when the chosen combination does not fit.
constexpr std::array<uint32_t, 4> usual_dpi = {300, 600, 1200, 2400};

// Half of what is left beside the bitmap, rounded down to a whole dot.  The
// sheet is length_pt x dpi / 72 dots long; working in 72ths of a dot keeps
// the arithmetic in integers.
int64_t centre_offset(uint32_t length_pt, uint32_t dpi, uint32_t image_dots)
{
    int64_t spare = (int64_t)length_pt * dpi - (int64_t)image_dots * 72;
    int64_t half = spare / 144;
    if (spare < 0 && spare % 144 != 0)
        half--;
    return half;
}

double inches(uint32_t dots, uint32_t dpi)
{
    return (double)dots / dpi;
}

double printable_inches(uint32_t length_pt)
{
    return length_pt / 72.0 - 2 * printer_margin_mm / 25.4;
}

} // namespace

const paper_size *find_paper(const char *name)
{
    for (const paper_size &paper : papers)
        if (strcasecmp(paper.name, name) == 0)
            return &paper;
    return nullptr;
}

sheet_layout compute_layout(const paper_size &paper, uint32_t dpi, uint32_t dots)
{
    sheet_layout layout;
    layout.image_width = page_width * dots;
    layout.image_height = page_height * dots;
    layout.left = centre_offset(paper.width_pt, dpi, layout.image_width);
    layout.bottom = centre_offset(paper.height_pt, dpi, layout.image_height);
    layout.fits = inches(layout.image_width, dpi) <= printable_inches(paper.width_pt) &&
                  inches(layout.image_height, dpi) <= printable_inches(paper.height_pt);
    return layout;
}

uint32_t largest_fitting_dots(const paper_size &paper, uint32_t dpi)
{
    uint32_t best = 0;
    for (uint32_t dots = 1; dots <= max_dots; dots++)
        if (compute_layout(paper, dpi, dots).fits)
            best = dots;
    return best;
}

namespace {

void print_choice(FILE *stream, const paper_size &paper, uint32_t dpi, bool *first)
{
    uint32_t dots = largest_fitting_dots(paper, dpi);
    if (dots == 0)
        return;
    fprintf(stream, "%s%u dpi with %u dot%s per pixel (%.2f x %.2f in)", *first ? "" : ", ", dpi,
            dots, dots == 1 ? "" : "s", inches(page_width * dots, dpi),
            inches(page_height * dots, dpi));
    *first = false;
}

} // namespace

void print_misfit(FILE *stream, const paper_size &paper, uint32_t dpi, uint32_t dots)
{
    fprintf(stream,
            "sheetprint: at %u dpi with %u dot%s per pixel the page is %.2f x %.2f in, but %s "
            "paper (%.2f x %.2f in) leaves only %.2f x %.2f in inside margins of %g mm\n",
            dpi, dots, dots == 1 ? "" : "s", inches(page_width * dots, dpi),
            inches(page_height * dots, dpi), paper.name, paper.width_pt / 72.0,
            paper.height_pt / 72.0, printable_inches(paper.width_pt),
            printable_inches(paper.height_pt), printer_margin_mm);
    fprintf(stream, "sheetprint: on %s paper these fit: ", paper.name);
    bool first = true;
    bool usual = false;
    for (uint32_t d : usual_dpi)
        usual = usual || d == dpi;
    if (!usual)
        print_choice(stream, paper, dpi, &first);
    for (uint32_t d : usual_dpi)
        print_choice(stream, paper, d, &first);
    fprintf(stream, "%s\n", first ? "nothing" : "");
}
