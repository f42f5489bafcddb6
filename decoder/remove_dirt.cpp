// remove_dirt.cpp - erases dark specks from the white margin of a scan.
//
// Two breadth-first flood fills mark what they visit in `work` (255 not yet
// visited, 0 visited): the first spreads through white paper (at least
// `fill_cutlevel`) from eight seeds on the image's edges, the second from the
// image centre through everything the first did not reach, which is the
// printed page.  Whatever neither fill visited is dirt cut off from the page
// by white paper; it is painted white (255) in `image` and counted.
#include "page_state.h"

#include <cstdlib>

namespace {

struct queue_entry {
    uint32_t x, y;
};

// The ring of pending pixels shared by every fill of a page.  It starts at
// 2 x max(width, height) + 5 entries and holds at most capacity - 1 of them;
// when a fill needs more (a maze of paper can have a longer front than the
// image's sides) it doubles.  Each pixel enters at most once, so it never
// needs more than width x height + 1 entries.
struct fill_queue {
    queue_entry *entries;
    uint64_t capacity;
    uint64_t read, write;
};
fill_queue que;

void allocate_queue(const page_state &page)
{
    uint32_t longer = page.width > page.height ? page.width : page.height;
    que.capacity = (uint32_t)(2 * longer + 5);
    que.entries = (queue_entry *)malloc(que.capacity * sizeof(queue_entry));
    if (!que.entries) {
        fprintf(stderr, "Cannot allocate the fill que.\n");
        exit(1);
    }
    que.read = que.write = 0;
}

// Doubles the full ring, keeping the pending entries in order at its start.
void grow_queue()
{
    uint64_t pending = que.write - que.read + (que.write < que.read ? que.capacity : 0);
    uint64_t capacity = que.capacity * 2;
    queue_entry *entries = (queue_entry *)malloc(capacity * sizeof(queue_entry));
    if (!entries) {
        fprintf(stderr, "Cannot allocate the fill que.\n");
        exit(1);
    }
    for (uint64_t i = 0; i < pending; i++)
        entries[i] = que.entries[(que.read + i) % que.capacity];
    free(que.entries);
    que.entries = entries;
    que.capacity = capacity;
    que.read = 0;
    que.write = pending;
}

// Marks (x, y) visited and queues it.
void enter(page_state &page, uint32_t x, uint32_t y)
{
    page.work[(uint64_t)y * page.width + x] = 0;
    uint64_t next = que.write + 1 == que.capacity ? 0 : que.write + 1;
    if (next == que.read) {
        grow_queue();
        next = que.write + 1;
    }
    que.entries[que.write] = {x, y};
    que.write = next;
}

bool may_enter(const page_state &page, uint32_t x, uint32_t y, bool use_threshold)
{
    uint64_t at = (uint64_t)y * page.width + x;
    return page.work[at] != 0 && (!use_threshold || page.image[at] >= page.fill_cutlevel);
}

// One fill from (x, y); with use_threshold only through white paper.
void floodfill(page_state &page, uint32_t x, uint32_t y, bool use_threshold)
{
    que.read = que.write = 0;
    if (!may_enter(page, x, y, use_threshold))
        return;
    enter(page, x, y);
    while (que.read != que.write) {
        queue_entry at = que.entries[que.read];
        que.read = que.read + 1 == que.capacity ? 0 : que.read + 1;
        // Right, left, down, up.
        if (at.x + 1 < page.width && may_enter(page, at.x + 1, at.y, use_threshold))
            enter(page, at.x + 1, at.y);
        if (at.x > 0 && may_enter(page, at.x - 1, at.y, use_threshold))
            enter(page, at.x - 1, at.y);
        if (at.y + 1 < page.height && may_enter(page, at.x, at.y + 1, use_threshold))
            enter(page, at.x, at.y + 1);
        if (at.y > 0 && may_enter(page, at.x, at.y - 1, use_threshold))
            enter(page, at.x, at.y - 1);
    }
}

// Step by step, so the message pieces come between the fills.
void fill_margin_then_page(page_state &page)
{
    uint32_t w = page.width, h = page.height;
    bool empty = w == 0 || h == 0;  // no seed lies inside an empty image
    const queue_entry seeds[8] = {{0, 0},     {w / 2, 0},     {w - 1, 0},     {0, h / 2},
                                  {0, h - 1}, {w - 1, h - 1}, {w - 1, h / 2}, {w / 2, h - 1}};
    for (const queue_entry &seed : seeds)
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
    allocate_queue(page);
    uint64_t size = (uint64_t)page.width * page.height;
    for (uint64_t i = 0; i < size; i++)
        page.work[i] = 255;
    fill_margin_then_page(page);
    uint64_t erased = 0;
    for (uint64_t i = 0; i < size; i++) {
        if (page.work[i] == 255) {
            page.image[i] = 255;
            erased++;
        }
    }
    fprintf(stderr, "erased %lu pixels of dirt.\n", (unsigned long)erased);
    free(que.entries);
    que.entries = nullptr;
}
