// large_pages.h - a hint for the large frame buffers of both programs.
//
// A frame buffer of several megabytes taken in 4 KB pages pays for every
// page at its first touch, which on a virtual machine costs more than
// filling it.  prefer_large_pages asks the system to back the buffer with
// large (2 MB) pages where it can.  It is only a hint: the contents, and
// what the programs write, are the same either way.
#ifndef PAGEFORMAT_LARGE_PAGES_H
#define PAGEFORMAT_LARGE_PAGES_H

#include <cstdint>

// The whole 4 KB pages of `buffer` (`size` bytes); a large page is used
// only where an aligned 2 MB block lies wholly inside.
void prefer_large_pages(void *buffer, uint64_t size);

#endif
