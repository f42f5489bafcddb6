// page_raster.cpp - expanding page pixels into printer dots.
#include "page_raster.h"

#include "page_format.h"

#include <cstdlib>
#include <cstring>

bool raster_begin(page_raster *raster, uint32_t dots, uint32_t gain)
{
    raster->dots = dots;
    raster->gain = gain;
    raster->row_bytes = (page_width * dots + 7) / 8;
    raster->band = (unsigned char *)malloc(raster->row_bytes);
    raster->white = (unsigned char *)malloc(raster->row_bytes);
    if (!raster->band || !raster->white) {
        raster_end(raster);
        return false;
    }
    memset(raster->white, 0xFF, raster->row_bytes);
    return true;
}

void raster_end(page_raster *raster)
{
    free(raster->band);
    free(raster->white);
    raster->band = nullptr;
    raster->white = nullptr;
}

uint32_t square_start(const page_raster &raster)
{
    return raster.gain / 2;
}

uint32_t square_end(const page_raster &raster)
{
    return raster.dots - (raster.gain - raster.gain / 2);
}

void render_band(page_raster *raster, const unsigned char *page_row)
{
    unsigned char *band = raster->band;
    memset(band, 0xFF, raster->row_bytes);
    uint32_t start = square_start(*raster);
    uint32_t end = square_end(*raster);
    for (uint32_t x = 0; x < page_width; x++) {
        if (page_row[x] >= 128)
            continue;
        uint32_t cell = x * raster->dots;
        for (uint32_t dot = cell + start; dot < cell + end; dot++)
            band[dot >> 3] &= (unsigned char)~(0x80u >> (dot & 7));
    }
}

const unsigned char *cell_row(const page_raster &raster, uint32_t dot_row)
{
    bool inside = dot_row >= square_start(raster) && dot_row < square_end(raster);
    return inside ? raster.band : raster.white;
}
