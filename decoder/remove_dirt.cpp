// remove_dirt.cpp - erases dark specks from the white margin of a scan.
//
// Two flood fills mark what they visit in `work` (255 not yet visited, 0
// visited): the first spreads through white paper (at least `fill_cutlevel`)
// from eight seeds on the image's edges, the second from the image centre
// through everything the first did not reach, which is the printed page.
// Whatever neither fill visited is dirt cut off from the page by white
// paper; it is painted white (255) in `image` and counted.
//
// A gap in the frame lets the first fill into the page, and then much of the
// print would go as dirt.  So before anything is painted,
// the count of the pixels to go is held against the dark pixels of the
// histogram (find_levels); when it is too many, frame_gaps.cpp redoes the
// fills with the narrow gaps closed.
//
// The fills work on horizontal runs rather than single pixels: a run is
// widened as far as it goes, marked with one memset, and only the rows
// above and below it are searched for runs still to visit.  A fill visits
// exactly the pixels that a pixel-by-pixel four-way fill from the same seed
// would (the four-connected region of enterable pixels around the seed), in
// a fraction of the time, and needs pending entries only for the runs along
// its front.  Their stack has a fixed size from the image's sides; a front
// longer than that (a ladder of paper) leaves the runs that do not fit
// marked in `work`, and the fill takes them up from there when the stack
// runs dry, so its memory never follows the image's area.
#include "dirt_fill.h"

#include <cstdlib>
#include <cstring>

namespace {

bool allocate_stack(fill_stack &pending, const page_state &page)
{
    uint32_t longer = page.width > page.height ? page.width : page.height;
    pending.capacity = (uint64_t)2 * longer + 5;
    pending.entries = (run_seed *)malloc(pending.capacity * sizeof(run_seed));
    pending.size = 0;
    pending.first_parked = 1;
    pending.last_parked = 0;
    pending.failed = false;
    pending.visited = 0;
    return pending.entries != nullptr;
}

// Pushes the seed at column x of the row `marks`, row number y, or parks it
// there when the stack is full.
void push_seed(fill_stack &pending, uint8_t *marks, uint32_t x, uint32_t y)
{
    if (pending.size < pending.capacity) {
        pending.entries[pending.size++] = {x, y};
        return;
    }
    marks[x] = parked_seed;
    if (pending.first_parked > pending.last_parked)
        pending.first_parked = pending.last_parked = y;
    else if (y < pending.first_parked)
        pending.first_parked = y;
    else if (y > pending.last_parked)
        pending.last_parked = y;
}

// Takes parked seeds up again, from the first row that may hold one, until
// half the stack is filled or none is left; false when there was none.  A
// parked seed was enterable to the fill that parked it, so it becomes white
// paper again: the margin fill parks only paper, and the page fill enters
// either kind.  The page fill may have visited a parked pixel since (253 is
// not 0 to it), which then is simply not found.
bool unpark_seeds(fill_stack &pending, const page_state &page)
{
    const uint32_t w = page.width;
    const uint64_t half = pending.capacity - pending.capacity / 2; // 1 for a stack of 1
    uint32_t y = pending.first_parked;
    for (; y <= pending.last_parked && pending.size < half; y++) {
        uint8_t *marks = page.work + (size_t)y * w;
        for (uint8_t *at = marks; pending.size < half; at++) {
            at = (uint8_t *)memchr(at, parked_seed, w - (size_t)(at - marks));
            if (!at)
                break;
            *at = unvisited_paper;
            pending.entries[pending.size++] = {(uint32_t)(at - marks), y};
        }
    }
    // A row left with its seeds half taken is read again next time.
    if (pending.size >= half)
        pending.first_parked = y - 1;
    else
        pending.first_parked = 1, pending.last_parked = 0;
    return pending.size > 0;
}

// While the fills run, `work` also tells white paper from the rest, so that
// what a fill may enter is decided by one byte (dirt_fill.h).  At the end
// the two kinds of unvisited pixel become 255 again.
enum fill_kind { margin_fill, page_fill };

template <fill_kind kind>
bool enterable(uint8_t mark)
{
    return kind == margin_fill ? mark == unvisited_paper : mark != visited;
}

// Eight marks at once: whether all of them are enterable, and whether none
// is.  A zero byte in a word w shows in (w - 0x01..01) & ~w & 0x80..80.
constexpr uint64_t ones = 0x0101010101010101, highs = 0x8080808080808080;

bool has_zero_byte(uint64_t w)
{
    return ((w - ones) & ~w & highs) != 0;
}

uint64_t eight_marks(const uint8_t *marks)
{
    uint64_t w;
    memcpy(&w, marks, 8);
    return w;
}

template <fill_kind kind>
bool all_enterable(const uint8_t *marks)
{
    uint64_t w = eight_marks(marks);
    return kind == margin_fill ? w == ~(uint64_t)0 : !has_zero_byte(w);
}

template <fill_kind kind>
bool none_enterable(const uint8_t *marks)
{
    uint64_t w = eight_marks(marks);
    return kind == margin_fill ? !has_zero_byte(~w) : w == 0;
}

// The first column from x up to `end` whose mark is not enterable (or end).
template <fill_kind kind>
uint32_t run_end(const uint8_t *marks, uint32_t x, uint32_t end)
{
    while (end - x >= 8 && all_enterable<kind>(marks + x))
        x += 8;
    while (x < end && enterable<kind>(marks[x]))
        x++;
    return x;
}

// The first column from x up to `end` whose mark is enterable (or end).
template <fill_kind kind>
uint32_t run_start(const uint8_t *marks, uint32_t x, uint32_t end)
{
    while (end - x >= 8 && none_enterable<kind>(marks + x))
        x += 8;
    while (x < end && !enterable<kind>(marks[x]))
        x++;
    return x;
}

// The leftmost column of the enterable run that ends at column x.
template <fill_kind kind>
uint32_t run_begin(const uint8_t *marks, uint32_t x)
{
    while (x >= 8 && all_enterable<kind>(marks + x - 8))
        x -= 8;
    while (x > 0 && enterable<kind>(marks[x - 1]))
        x--;
    return x;
}

// Pushes one seed for every run of enterable pixels that meets columns
// left .. right - 1 of the row `marks`, row number y.  The run's end is
// found before its seed is pushed: a parked seed would end it at once for
// the margin fill, and the rest of the run would get a seed of its own.
template <fill_kind kind>
void seed_runs(fill_stack &pending, uint8_t *marks, uint32_t y, uint32_t left, uint32_t right)
{
    for (uint32_t x = run_start<kind>(marks, left, right); x < right;) {
        const uint32_t end = run_end<kind>(marks, x, right);
        push_seed(pending, marks, x, y);
        x = run_start<kind>(marks, end, right);
    }
}

// Visits the run through the seed, if that pixel is still enterable, and
// queues the runs it touches in the rows above and below.
template <fill_kind kind>
void visit_run(fill_stack &pending, const page_state &page, run_seed seed)
{
    const uint32_t w = page.width;
    uint8_t *marks = page.work + (size_t)seed.y * w;
    if (!enterable<kind>(marks[seed.x]))
        return;
    const uint32_t left = run_begin<kind>(marks, seed.x);
    const uint32_t right = run_end<kind>(marks, seed.x, w);
    memset(marks + left, visited, right - left);
    pending.visited += right - left;
    if (seed.y > 0)
        seed_runs<kind>(pending, marks - w, seed.y - 1, left, right);
    if (seed.y + 1 < page.height)
        seed_runs<kind>(pending, marks + w, seed.y + 1, left, right);
}

// One fill from (x, y).  A parked seed blocks the margin fill's runs like
// a dark pixel until it is taken up, and then its run is visited from it
// and seeds its neighbours as any other: every pixel the fill visits still
// has each four-neighbour visited, dark or parked for later, so the fill
// visits the same four-connected region whatever the stack's size.
template <fill_kind kind>
void floodfill(fill_stack &pending, const page_state &page, uint32_t x, uint32_t y)
{
    pending.size = 0;
    push_seed(pending, page.work + (size_t)y * page.width, x, y);
    do {
        while (pending.size > 0)
            visit_run<kind>(pending, page, pending.entries[--pending.size]);
    } while (unpark_seeds(pending, page));
}

// The two passes over the whole frame go a piece at a time: loops of a
// fixed length into local buffers, which the compiler turns into vector
// code, and one of any length for the rest.
constexpr size_t piece_size = 64;

uint8_t class_of(uint8_t value, uint8_t cutlevel)
{
    return value >= cutlevel ? unvisited_paper : unvisited_dark;
}

} // namespace

void classify_pixels(page_state &page)
{
    const uint64_t size = (uint64_t)page.width * page.height;
    const uint8_t cutlevel = page.fill_cutlevel;
    const uint8_t *image = page.image;
    uint8_t *marks = page.work;
    uint8_t out[piece_size];
    uint64_t i = 0;
    for (; size - i >= piece_size; i += piece_size) {
        for (size_t k = 0; k < piece_size; k++)
            out[k] = class_of(image[i + k], cutlevel);
        memcpy(marks + i, out, piece_size);
    }
    for (; i < size; i++)
        marks[i] = class_of(image[i], cutlevel);
}

namespace {

// 255 for a pixel that was not visited, 0 for one that was.  OR-ed into
// the image it paints the unvisited pixels white and leaves the others.
uint8_t erase_mask(uint8_t mark)
{
    return mark != visited ? 255 : 0;
}

// Paints every unvisited pixel white in `image`, leaves 255 for it and 0 for
// the visited ones in `work`, and returns how many there were.
uint64_t erase_unvisited(page_state &page, uint64_t size)
{
    uint8_t *image = page.image, *marks = page.work;
    uint8_t painted[piece_size], masks[piece_size];
    uint64_t erased = 0, i = 0;
    for (; size - i >= piece_size; i += piece_size) {
        uint32_t in_piece = 0;
        for (size_t k = 0; k < piece_size; k++) {
            masks[k] = erase_mask(marks[i + k]);
            painted[k] = image[i + k] | masks[k];
            in_piece += masks[k] & 1;
        }
        // A piece without dirt is left as it is: most of a scan has none,
        // and not storing it saves writing the whole frame again.
        if (in_piece != 0)
            memcpy(image + i, painted, piece_size);
        memcpy(marks + i, masks, piece_size);
        erased += in_piece;
    }
    for (; i < size; i++) {
        marks[i] = erase_mask(marks[i]);
        image[i] |= marks[i];
        erased += marks[i] & 1;
    }
    return erased;
}

// Step by step, so the message pieces come between the fills.
void fill_margin_then_page(fill_stack &pending, page_state &page)
{
    fill_margin(pending, page);
    fprintf(stderr, "white border identified, ");
    fill_page(pending, page);
    fprintf(stderr, "data area identified, ");
}

} // namespace

void fill_margin(fill_stack &pending, page_state &page)
{
    uint32_t w = page.width, h = page.height;
    if (w == 0 || h == 0) // no seed lies inside an empty image
        return;
    const run_seed seeds[8] = {{0, 0},     {w / 2, 0},     {w - 1, 0},     {0, h / 2},
                               {0, h - 1}, {w - 1, h - 1}, {w - 1, h / 2}, {w / 2, h - 1}};
    for (const run_seed &seed : seeds)
        floodfill<margin_fill>(pending, page, seed.x, seed.y);
}

void fill_page(fill_stack &pending, page_state &page)
{
    uint32_t w = page.width, h = page.height;
    if (w != 0 && h != 0)
        floodfill<page_fill>(pending, page, w / 2, h / 2);
}

page_status remove_dirt(page_state &page)
{
    fprintf(stderr, "Removing dirt from the white border: ");
    fill_stack pending;
    if (!allocate_stack(pending, page))
        return fill_stack_not_allocated;
    const uint64_t size = (uint64_t)page.width * page.height;
    classify_pixels(page);
    fill_margin_then_page(pending, page);
    const uint64_t unvisited = size - pending.visited;
    const bool filled = !page.close_frame_gaps ||
                        !leak_suspected(unvisited, dark_pixel_count(page)) ||
                        close_frame_gaps(pending, page, unvisited);
    free(pending.entries);
    if (!filled)
        return fill_stack_not_allocated;
    uint64_t erased = erase_unvisited(page, size);
    fprintf(stderr, "erased %lu pixels of dirt.\n", (unsigned long)erased);
    return page_decoded;
}
