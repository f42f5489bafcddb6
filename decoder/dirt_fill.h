// dirt_fill.h - the steps of remove_dirt that its two files share: the
// flood fills and the marks they leave in `work` (remove_dirt.cpp), and the
// fills redone with the frame's narrow gaps closed (frame_gaps.cpp).
//
// Marks while the fills run: 255 white paper not yet visited, 254 anything
// darker not yet visited, 0 visited.  The margin fill enters only 255, the
// page fill anything but 0.  A fill whose stack is full leaves 253 on the
// pixel it could not push (a parked seed), and takes it up again when the
// stack runs dry; no 253 is left when a fill ends.
#ifndef DECODER_DIRT_FILL_H
#define DECODER_DIRT_FILL_H

#include "page_state.h"

constexpr uint8_t unvisited_paper = 255, unvisited_dark = 254, parked_seed = 253, visited = 0;

// A run still to visit: some enterable pixel of it, and the row it lies in.
struct run_seed {
    uint32_t x, y;
};

// The stack of pending runs shared by every fill of a page: a fixed
// 2 x max(width, height) + 5 entries, so that its memory follows the image's
// sides and not its area.  A maze or a ladder of paper can have a front far
// longer than that; what does not fit is parked in `work` (parked_seed), in
// rows first_parked .. last_parked (none when first_parked > last_parked).
// `visited` adds up the pixels the fills mark, for the leak rule; `failed`
// is set when the closing of frame gaps cannot get its scratch memory.
struct fill_stack {
    run_seed *entries;
    uint64_t capacity, size;
    uint32_t first_parked, last_parked;
    bool failed;
    uint64_t visited;
};

// -- remove_dirt.cpp --

// Marks every pixel of `work` unvisited, white paper (at least
// fill_cutlevel in `image`) apart from the rest.
void classify_pixels(page_state &page);
// The margin fill from the eight seeds on the image's edges, and the page
// fill from the image's centre.
void fill_margin(fill_stack &pending, page_state &page);
void fill_page(fill_stack &pending, page_state &page);

// -- frame_gaps.cpp --

// The image's dark pixels, below fill_cutlevel, as the histogram counts them.
uint64_t dark_pixel_count(const page_state &page);
// Whether the margin fill may have run into the page through a gap in the
// frame: the fills would erase more than a 1024th of the dark pixels, more
// than dirt in the margin usually is.
bool leak_suspected(uint64_t erased, uint64_t dark);

// The passes of the closing, in place on the marks; `columns` is scratch
// of a byte per image column.  On marks as classify_pixels leaves them,
// paper (255) stays paper only where the whole (2 half + 1)-square around it
// is paper, pixels beyond the image's edges counting as paper; the rest of
// it becomes 254.
void erode_paper(page_state &page, uint32_t half, uint8_t *columns);
// Every pixel within the same square around a visited one is visited.
void grow_visited(page_state &page, uint32_t half, uint8_t *columns);

// After the ordinary fills, which would erase `erased` pixels, have raised
// leak_suspected: redoes them with the frame's narrow gaps closed and leaves
// in `work` the marks of the fills whose unvisited pixels remove_dirt is to
// erase - the closed ones where the ordinary ones lose the page, which it
// says on standard error, else the ordinary ones again.  False when memory
// ran out.
bool close_frame_gaps(fill_stack &pending, page_state &page, uint64_t erased);

#endif
