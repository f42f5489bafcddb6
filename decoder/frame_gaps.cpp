// frame_gaps.cpp - dirt removal for a page whose frame has a gap
// (page.close_frame_gaps, which decode_page sets for every page).
//
// A white line through the black frame, a page pixel wide (a printer
// streak, a scratch, a fold), lets remove_dirt's margin fill run into the
// page, and the print its page fill then cannot reach would be painted white
// as dirt: all of it when the white reaches the centre, else the part beyond
// the line, with the page's corners.  remove_dirt counts the pixels to go
// before it paints any; when they are more than a 1024th of the dark pixels
// (leak_suspected: dust at 320 specks per square inch makes 0.12 %, the
// smallest cut measured, 0.3 % of the page's width, 0.5 %), this file redoes
// the fills with the gaps closed and decides which fills remove_dirt erases
// after.  Dirt above the mark costs only the closing's time.
//
// Closing: for half = 1, 2, ... the margin fill may enter only paper whose
// whole (2 half + 1)-square is paper (the paper eroded), which cannot pass
// through a gap up to 2 half pixels wide; what it reaches is grown back by
// half (dilated: together an opening of the paper), and the page fill goes
// from the centre through everything else.  The first width that leaves no
// more than a 64th of the dark pixels to erase, with the page fill off the
// image's edges (paper all round the page), has closed the leak.
//
// Those fills are kept only where the ordinary ones lose the page, so that
// a page the decoder reads today is read as it always was.  It reads
// through a cut that shortens the page at its bottom by up to about 6 % of
// its height, from lower corners found on the cut; such cuts take up to 23 %
// of the dark pixels (measured with paperscan on pages filled from 30 % to
// 100 % at 2 and 3 scan pixels per page pixel).  A cut of the top, the left
// or the right loses the page from a few page pixels on, and so does a
// line that cuts off a lower corner sideways.  So the ordinary fills stay
// when they keep the upper corners, raise the lower ones along the page's
// sides by at most a twelfth of its height and erase at most a third of the
// dark pixels.  They also stay when no width up to max_gap_half closes the leak:
// the page then runs off the scan or the gap is wider, and the failure path
// tells more than a page read from the wrong corners would.
//
// Reads `image`, the histogram, cutlevel and fill_cutlevel; writes the marks
// in `work` and nothing else.  Scratch: a byte per image column.
#include "dirt_fill.h"

#include <cstdlib>
#include <cstring>

namespace {

// Gaps up to 8 pixels: a line of a page pixel with its blurred edges at
// 1200 dpi (6 scan pixels to a page pixel), or of two at 600 dpi.
constexpr uint32_t max_gap_half = 4;

// Grows the set of pixels `in_set` by `half` along one row: the pixels up to
// half columns beyond either end of a run of them take `value` (which puts
// them in the set).  Runs are taken as the row was: a run's growth to the
// right is written only once the next run has been found.
template <typename set_test>
void grow_along_row(uint8_t *marks, uint32_t w, uint32_t half, set_test in_set, uint8_t value)
{
    uint32_t end = 0, reach = 0; // the last run's end, and how far it grows
    for (uint32_t x = 0;;) {
        while (x < w && !in_set(marks[x]))
            x++;
        const uint32_t start = x, from = start - end > half ? start - half : end;
        memset(marks + end, value, (reach < start ? reach : start) - end);
        if (start == w)
            return;
        memset(marks + from, value, start - from);
        while (x < w && in_set(marks[x]))
            x++;
        end = x;
        reach = w - end > half ? end + half : w;
    }
}

// The column passes go a piece of the row at a time: loops of a fixed
// length into a local buffer, which the compiler turns into vector code
// (the buffers it reads could overlap the one it writes), and one for the
// rest.
constexpr size_t piece = 64;

// Rows since the last one in the set, per column, up to 255; without
// branches, so that the piece loops become vector code.
uint8_t one_further(uint8_t rows)
{
    return (uint8_t)(rows + (rows != 255));
}

// Counts the rows on by one row, `row` null for a row beyond the image's
// end, which is never in the set.
template <typename set_test>
void count_rows(uint8_t *columns, const uint8_t *row, uint32_t w, set_test in_set)
{
    uint8_t out[piece];
    size_t x = 0;
    for (; w - x >= piece; x += piece) {
        if (row)
            for (size_t k = 0; k < piece; k++)
                out[k] = one_further(columns[x + k]) & (in_set(row[x + k]) ? 0 : 255);
        else
            for (size_t k = 0; k < piece; k++)
                out[k] = one_further(columns[x + k]);
        memcpy(columns + x, out, piece);
    }
    for (; x < w; x++)
        columns[x] = row && in_set(row[x]) ? 0 : one_further(columns[x]);
}

// `value` into the row's pixels whose column has a row of the set no more
// than `rows` back.
void mark_counted(uint8_t *marks, const uint8_t *columns, uint32_t w, uint8_t rows, uint8_t value)
{
    uint8_t out[piece];
    size_t x = 0;
    for (; w - x >= piece; x += piece) {
        for (size_t k = 0; k < piece; k++) {
            const uint8_t mark = marks[x + k]; // read always: no branch in the loop
            out[k] = columns[x + k] <= rows ? value : mark;
        }
        memcpy(marks + x, out, piece);
    }
    for (; x < w; x++)
        marks[x] = columns[x] <= rows ? value : marks[x];
}

// Grows the set by `half` along the rows, then down and up the columns in
// place: row r is counted at step r and written at step r + half, when the
// rows up to half below it have been counted.  Pixels beyond the image's
// edges are never in the set.
template <typename set_test>
void grow_set(page_state &page, uint32_t half, uint8_t *columns, set_test in_set, uint8_t value)
{
    const uint32_t w = page.width, h = page.height;
    for (uint32_t y = 0; y < h; y++)
        grow_along_row(page.work + (size_t)y * w, w, half, in_set, value);
    memset(columns, 255, w);
    for (uint64_t r = 0; r < (uint64_t)h + half; r++) {
        count_rows(columns, r < h ? page.work + (size_t)r * w : nullptr, w, in_set);
        if (r >= half)
            mark_counted(page.work + (size_t)(r - half) * w, columns, w, (uint8_t)(2 * half),
                         value);
    }
}

// The pixels left unvisited.
uint64_t count_unvisited(const page_state &page)
{
    const uint8_t *marks = page.work;
    const uint64_t size = (uint64_t)page.width * page.height;
    uint64_t count = 0;
    for (uint64_t i = 0; i < size; i++)
        count += marks[i] != visited;
    return count;
}

// The pixels on the image's edges left unvisited.
uint64_t count_unvisited_on_edges(const page_state &page)
{
    const uint32_t w = page.width, h = page.height;
    uint64_t count = 0;
    for (uint32_t y = 0; y < h; y++) {
        const uint8_t *marks = page.work + (size_t)y * w;
        const bool whole_row = y == 0 || y + 1 == h;
        for (uint32_t x = 0; x < w; x += whole_row || x + 1 == w ? 1 : w - 1)
            count += marks[x] != visited;
    }
    return count;
}

// What the fills with gaps up to 2 half pixels closed leave to erase.
struct gap_trial {
    uint64_t erased;
    bool page_reaches_edge; // the page fill visited pixels on the image's edges
};

gap_trial try_closing(fill_stack &pending, page_state &page, uint32_t half, uint8_t *columns)
{
    gap_trial trial = {0, false};
    classify_pixels(page);
    erode_paper(page, half, columns);
    fill_margin(pending, page);
    grow_visited(page, half, columns);
    const uint64_t edges_before = count_unvisited_on_edges(page);
    fill_page(pending, page);
    trial.erased = count_unvisited(page);
    trial.page_reaches_edge = count_unvisited_on_edges(page) != edges_before;
    return trial;
}

// The leak is closed when what is left to erase is at most half what the
// ordinary fills would erase (the leak's part went, dirt stays or moves a
// little between the fills) and no more than dirt (a 64th of the dark
// pixels), and the page fill keeps off the image's edges: a page region out
// to the edges is a page cut off by the scan or a field of dirt joined up,
// not a page with paper all round it.
bool leak_closed(const gap_trial &trial, uint64_t erased_with_leak, uint64_t dark)
{
    return !trial.page_reaches_edge && trial.erased <= dark / 64 &&
           trial.erased <= erased_with_leak / 2;
}

// For each image corner in the order of corner_id, the pixel find_corners
// will take (the first below cutlevel as its diagonal walk goes,
// find_corners.cpp) among those the fills keep.
struct corner_pixels {
    point_u64 at[4];
    bool found[4];
};

corner_pixels kept_corners(const page_state &page)
{
    const uint32_t w = page.width, h = page.height, m = w < h ? w : h;
    corner_pixels corners{};
    for (int k = upper_left_corner; k <= lower_right_corner; k++) {
        const bool from_right = k == upper_right_corner || k == lower_right_corner;
        const bool from_bottom = k >= lower_left_corner;
        for (uint64_t d = 0; d < m && !corners.found[k]; d++)
            for (uint64_t i = 0; i <= d && !corners.found[k]; i++) {
                const uint64_t x = from_right ? w - 1 - d + i : d - i;
                const uint64_t y = from_bottom ? h - 1 - i : i;
                const size_t at = (size_t)y * w + x;
                if (page.work[at] == visited && page.image[at] < page.cutlevel) {
                    corners.at[k] = {x, y};
                    corners.found[k] = true;
                }
            }
    }
    return corners;
}

bool same_pixel(point_u64 a, point_u64 b)
{
    return a.x == b.x && a.y == b.y;
}

// Whether the ordinary fills only shorten the page at its bottom by at most
// a twelfth of its height, against the corners with the gaps closed: the
// upper corners are where they were, the lower ones moved up along the
// page's sides (sideways by at most a quarter as much, for a skew of up to
// 14 degrees).
bool only_bottom_cut_short(const corner_pixels &ordinary, const corner_pixels &closed)
{
    for (int k = upper_left_corner; k <= lower_right_corner; k++)
        if (!ordinary.found[k] || !closed.found[k])
            return false;
    const point_u64 *o = ordinary.at, *c = closed.at;
    if (!same_pixel(o[upper_left_corner], c[upper_left_corner]) ||
        !same_pixel(o[upper_right_corner], c[upper_right_corner]))
        return false;
    const uint64_t top = c[upper_left_corner].y + c[upper_right_corner].y;
    const uint64_t bottom = c[lower_left_corner].y + c[lower_right_corner].y;
    if (bottom < top)
        return false;
    const uint64_t height = (bottom - top) / 2;
    for (int k : {lower_left_corner, lower_right_corner}) {
        const uint64_t up = c[k].y - o[k].y;
        const uint64_t sideways = o[k].x > c[k].x ? o[k].x - c[k].x : c[k].x - o[k].x;
        if (o[k].y > c[k].y || up > height / 12 || 4 * sideways > up)
            return false;
    }
    return true;
}

// The pixels left unvisited inside the quadrilateral of the corners: print
// the fills would erase from the page they leave, not from below it.  With
// y downwards, a point inside lies right of every side walked clockwise
// (upper left, upper right, lower right, lower left).
uint64_t unvisited_inside(const page_state &page, const corner_pixels &corners)
{
    const point_u64 *c = corners.at;
    const point_u64 ring[5] = {c[upper_left_corner], c[upper_right_corner], c[lower_right_corner],
                               c[lower_left_corner], c[upper_left_corner]};
    uint64_t count = 0;
    for (uint32_t y = 0; y < page.height; y++)
        for (uint32_t x = 0; x < page.width; x++) {
            if (page.work[(size_t)y * page.width + x] == visited)
                continue;
            bool inside = true;
            for (int k = 0; k < 4 && inside; k++) {
                const double ax = (double)ring[k].x, ay = (double)ring[k].y;
                const double ex = (double)ring[k + 1].x - ax, ey = (double)ring[k + 1].y - ay;
                inside = ex * ((double)y - ay) - ey * ((double)x - ax) > 0;
            }
            count += inside;
        }
    return count;
}

// The ordinary fills once more, without their messages.
void refill(fill_stack &pending, page_state &page)
{
    classify_pixels(page);
    fill_margin(pending, page);
    fill_page(pending, page);
}

// The first width that closes the leak, its fills' marks left in `work`;
// 0 when none does (the marks are then of the last width tried).
uint32_t first_closing_width(fill_stack &pending, page_state &page, uint64_t erased, uint64_t dark)
{
    uint8_t *columns = (uint8_t *)malloc((size_t)page.width + 1);
    if (!columns) {
        pending.failed = true;
        return 0;
    }
    uint32_t half = 1;
    for (; half <= max_gap_half; half++) {
        const gap_trial trial = try_closing(pending, page, half, columns);
        if (leak_closed(trial, erased, dark))
            break;
    }
    free(columns);
    return pending.failed || half > max_gap_half ? 0 : half;
}

} // namespace

uint64_t dark_pixel_count(const page_state &page)
{
    uint64_t dark = 0;
    for (unsigned v = 0; v < page.fill_cutlevel; v++)
        dark += page.histogram[v];
    return dark;
}

bool leak_suspected(uint64_t erased, uint64_t dark)
{
    return erased > dark / 1024;
}

void erode_paper(page_state &page, uint32_t half, uint8_t *columns)
{
    grow_set(
        page, half, columns, [](uint8_t mark) { return mark != unvisited_paper; }, unvisited_dark);
}

void grow_visited(page_state &page, uint32_t half, uint8_t *columns)
{
    grow_set(
        page, half, columns, [](uint8_t mark) { return mark == visited; }, visited);
}

bool close_frame_gaps(fill_stack &pending, page_state &page, uint64_t erased)
{
    const uint64_t dark = dark_pixel_count(page);
    // A third of the print gone loses the page wherever the cut lies, and so
    // does a cut that takes more than a 256th of the print from inside the
    // page the corners give, as two scratches that meet near a side do
    // (measured: a piece of 5 % of the print lost 1787 codewords, one of
    // 0.15 % was corrected in full).
    bool cut_may_be_read = erased <= dark / 3;
    const corner_pixels ordinary = cut_may_be_read ? kept_corners(page) : corner_pixels{};
    cut_may_be_read = cut_may_be_read && unvisited_inside(page, ordinary) <= dark / 256;
    const uint32_t half = first_closing_width(pending, page, erased, dark);
    if (pending.failed)
        return false;
    if (!half || (cut_may_be_read && only_bottom_cut_short(ordinary, kept_corners(page)))) {
        refill(pending, page);
        return true;
    }
    fprintf(stderr,
            "the white border runs into the page through a gap in the frame; with gaps up to %u "
            "pixels wide closed, ",
            2 * half);
    return true;
}
