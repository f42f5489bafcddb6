// remove_dirt.cpp - erases dark specks from the white margin of a scan.
//
// Two flood fills mark what they visit in `work` (255 not yet visited, 0
// visited): the first spreads through white paper (at least `fill_cutlevel`)
// from eight seeds on the image's edges, the second from the image centre
// through everything the first did not reach, which is the printed page.
// Whatever neither fill visited is dirt cut off from the page by white
// paper; it is painted white (255) in `image` and counted.
//
// The fills work on horizontal runs rather than single pixels: a run is
// widened as far as it goes, marked with one memset, and only the rows
// above and below it are searched for runs still to visit.  A fill visits
// exactly the pixels that a pixel-by-pixel four-way fill from the same seed
// would (the four-connected region of enterable pixels around the seed), in
// a fraction of the time, and needs pending entries only for the runs along
// its front.
#include "page_state.h"

#include <cstdlib>
#include <cstring>

namespace {

// A run still to visit: some enterable pixel of it, and the row it lies in.
struct run_seed {
    uint32_t x, y;
};

// The stack of pending runs shared by every fill of a page.  It starts at
// 2 x max(width, height) + 5 entries and doubles when a fill's front needs
// more (a maze of paper can have a far longer front than the image's sides).
struct fill_stack {
    run_seed *entries;
    uint64_t capacity, size;
};
fill_stack pending;

[[noreturn]] void no_memory_for_fill()
{
    fprintf(stderr, "Cannot allocate the fill que.\n");
    exit(1);
}

void allocate_stack(const page_state &page)
{
    uint32_t longer = page.width > page.height ? page.width : page.height;
    pending.capacity = (uint32_t)(2 * longer + 5);
    pending.entries = (run_seed *)malloc(pending.capacity * sizeof(run_seed));
    if (!pending.entries)
        no_memory_for_fill();
    pending.size = 0;
}

void push_seed(uint32_t x, uint32_t y)
{
    if (pending.size == pending.capacity) {
        uint64_t capacity = pending.capacity * 2;
        run_seed *entries = (run_seed *)malloc(capacity * sizeof(run_seed));
        if (!entries)
            no_memory_for_fill();
        memcpy(entries, pending.entries, pending.size * sizeof(run_seed));
        free(pending.entries);
        pending.entries = entries;
        pending.capacity = capacity;
    }
    pending.entries[pending.size++] = {x, y};
}

// The pixels a fill may enter: not yet visited, and with use_threshold
// white paper.  Looks at one row at a time.
struct fill_row {
    const uint8_t *image;
    uint8_t *work;
    uint8_t cutlevel;
    bool use_threshold;

    bool enterable(uint32_t x) const
    {
        return work[x] != 0 && (!use_threshold || image[x] >= cutlevel);
    }
};

fill_row row_of(const page_state &page, uint32_t y, bool use_threshold)
{
    size_t start = (size_t)y * page.width;
    return {page.image + start, page.work + start, page.fill_cutlevel, use_threshold};
}

// Pushes one seed for every run of enterable pixels that meets columns
// left..right of row y.
void seed_runs(const page_state &page, uint32_t y, uint32_t left, uint32_t right, bool use_threshold)
{
    const fill_row row = row_of(page, y, use_threshold);
    bool in_run = false;
    for (uint32_t x = left; x <= right; x++) {
        bool open = row.enterable(x);
        if (open && !in_run)
            push_seed(x, y);
        in_run = open;
    }
}

// Visits the run through (x, y), if that pixel is still enterable, and
// queues the runs it touches in the rows above and below.
void visit_run(const page_state &page, run_seed seed, bool use_threshold)
{
    const fill_row row = row_of(page, seed.y, use_threshold);
    if (!row.enterable(seed.x))
        return;
    uint32_t left = seed.x, right = seed.x;
    while (left > 0 && row.enterable(left - 1))
        left--;
    while (right + 1 < page.width && row.enterable(right + 1))
        right++;
    memset(row.work + left, 0, right - left + 1);
    if (seed.y > 0)
        seed_runs(page, seed.y - 1, left, right, use_threshold);
    if (seed.y + 1 < page.height)
        seed_runs(page, seed.y + 1, left, right, use_threshold);
}

// One fill from (x, y); with use_threshold only through white paper.
void floodfill(const page_state &page, uint32_t x, uint32_t y, bool use_threshold)
{
    pending.size = 0;
    push_seed(x, y);
    while (pending.size > 0)
        visit_run(page, pending.entries[--pending.size], use_threshold);
}

// Step by step, so the message pieces come between the fills.
void fill_margin_then_page(page_state &page)
{
    uint32_t w = page.width, h = page.height;
    bool empty = w == 0 || h == 0;  // no seed lies inside an empty image
    const run_seed seeds[8] = {{0, 0},     {w / 2, 0},     {w - 1, 0},     {0, h / 2},
                               {0, h - 1}, {w - 1, h - 1}, {w - 1, h / 2}, {w / 2, h - 1}};
    for (const run_seed &seed : seeds)
        if (!empty)
            floodfill(page, seed.x, seed.y, true);
    fprintf(stderr, "white border identified, ");
    if (!empty)
        floodfill(page, w / 2, h / 2, false);
    fprintf(stderr, "data area identified, ");
}

} // namespace

void remove_dirt(page_state &page)
{
    fprintf(stderr, "Removing dirt from the white border: ");
    allocate_stack(page);
    uint64_t size = (uint64_t)page.width * page.height;
    memset(page.work, 255, size);
    fill_margin_then_page(page);
    // `work` holds only 0 (visited) and 255 (not visited): OR-ing it into
    // `image` paints exactly the unvisited pixels white, and its low bits
    // count them, in a loop without branches.
    uint64_t erased = 0;
    for (uint64_t i = 0; i < size; i++) {
        page.image[i] |= page.work[i];
        erased += page.work[i] & 1;
    }
    fprintf(stderr, "erased %lu pixels of dirt.\n", (unsigned long)erased);
    free(pending.entries);
    pending.entries = nullptr;
}
