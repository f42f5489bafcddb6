// sheet.h - the scanned sheet while it is being made.
//
// One sample per scan pixel, the reflectance seen in linear light scaled to
// 0..65535, row-major.  Linear so that blur, dirt, illumination and noise
// combine as light does; 16 bits so that the dark end keeps its steps when
// the writer encodes it with a gamma.
#ifndef PAPERSCAN_SHEET_H
#define PAPERSCAN_SHEET_H

#include <cstdint>

struct sheet {
    uint32_t width, height;
    uint16_t *pixels; // malloc'd by alloc_sheet, released by free_sheet
};

// Allocates width x height samples (both at most 20000).  Prints a message
// and returns false when memory is short.
bool alloc_sheet(uint32_t width, uint32_t height, sheet *s);
void free_sheet(sheet *s);

// Reflectance 0..1 as a sample, rounded, clamped.
inline uint16_t reflectance_sample(double r)
{
    if (!(r > 0.0))
        return 0;
    if (r >= 1.0)
        return 65535;
    return (uint16_t)(r * 65535.0 + 0.5);
}

#endif
