// dirt_fill.h - the steps of remove_dirt (remove_dirt.cpp) that other files
// use: the flood fills and the marks they leave in `work`.
//
// Marks while the fills run: 255 white paper not yet visited, 254 anything
// darker not yet visited, 0 visited.  The margin fill enters only 255, the
// page fill anything but 0.
#ifndef DECODER_DIRT_FILL_H
#define DECODER_DIRT_FILL_H

#include "page_state.h"

constexpr uint8_t unvisited_paper = 255, unvisited_dark = 254, visited = 0;

// A run still to visit: some enterable pixel of it, and the row it lies in.
struct run_seed {
    uint32_t x, y;
};

// The stack of pending runs shared by every fill of a page.  It starts at
// 2 x max(width, height) + 5 entries and doubles when a fill's front needs
// more (a maze of paper can have a far longer front than the image's sides).
// A fill that cannot get the memory it needs stops with `failed` set.
struct fill_stack {
    run_seed *entries;
    uint64_t capacity, size;
    bool failed;
};

// -- remove_dirt.cpp --

// Marks every pixel of `work` unvisited, white paper (at least
// fill_cutlevel in `image`) apart from the rest.
void classify_pixels(page_state &page);
// The margin fill from the eight seeds on the image's edges, and the page
// fill from the image's centre; false when a fill ran out of memory.
bool fill_margin(fill_stack &pending, page_state &page);
bool fill_page(fill_stack &pending, page_state &page);

#endif
