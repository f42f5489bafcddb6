// large_pages.cpp - prefer_large_pages, where the system offers MADV_HUGEPAGE.
#include "large_pages.h"

#include <sys/mman.h>

void prefer_large_pages(void *buffer, uint64_t size)
{
#ifdef MADV_HUGEPAGE
    const uintptr_t page = 4096;
    const uintptr_t start = ((uintptr_t)buffer + page - 1) & ~(page - 1);
    const uintptr_t end = ((uintptr_t)buffer + size) & ~(page - 1);
    if (end > start)
        madvise((void *)start, end - start, MADV_HUGEPAGE);
#else
    (void)buffer;
    (void)size;
#endif
}
