// sheet.cpp - allocation of the sheet buffer.
#include "sheet.h"

#include <cstdio>
#include <cstdlib>

bool alloc_sheet(uint32_t width, uint32_t height, sheet *s)
{
    s->width = width;
    s->height = height;
    s->pixels = nullptr;
    if (width == 0 || height == 0 || width > 20000 || height > 20000) {
        fprintf(stderr, "paperscan: a sheet of %u x %u pixels is out of range\n", width, height);
        return false;
    }
    uint64_t bytes = (uint64_t)width * height * sizeof(uint16_t);
    s->pixels = (uint16_t *)malloc(bytes);
    if (!s->pixels) {
        fprintf(stderr, "paperscan: cannot allocate %llu bytes for the sheet\n",
                (unsigned long long)bytes);
        return false;
    }
    return true;
}

void free_sheet(sheet *s)
{
    free(s->pixels);
    s->pixels = nullptr;
}
