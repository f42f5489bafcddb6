// png_write.cpp - encodes the sheet for the PNG kind asked for and writes it
// with png_file.
//
// Reads the linear sheet; writes one PNG file.  The samples are encoded with
// the same gamma the reader will undo: a reader that takes 0.454545 when no
// gAMA chunk is present raises each sample to 1 / 0.454545, so writing
// reflectance^0.454545 gives it back the linear reflectance.  Rows are
// encoded one at a time as png_file asks for them, so no second image-sized
// buffer is needed.
#include "png_write.h"

#include "png_file.h"

#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

png_options format_of(const scan_options &o)
{
    png_options f;
    switch (o.kind) {
    case kind_grey16:
        f.bit_depth = 16;
        break;
    case kind_rgb:
        f.colour_type = PNG_COLOR_TYPE_RGB;
        break;
    case kind_palette:
        f.colour_type = PNG_COLOR_TYPE_PALETTE;
        break;
    case kind_grey1:
        f.bit_depth = 1;
        break;
    case kind_grey8:
        break;
    }
    f.interlaced = o.interlace;
    f.gamma = o.write_gamma ? o.gamma : 0.0;
    // Speed over size: scans are large and short-lived.
    f.fast = true;
    return f;
}

// encoded[v] for every linear sample v: the 16-bit code for grey16, the
// 8-bit code otherwise, and for grey1 0 or 1 by the halfway threshold.
void make_encoding(const scan_options &o, uint16_t *encoded)
{
    double top = o.kind == kind_grey16 ? 65535.0 : 255.0;
    uint32_t threshold = reflectance_sample(0.5 * (o.paper + o.toner));
    for (uint32_t v = 0; v < 65536; v++) {
        if (o.kind == kind_grey1)
            encoded[v] = v >= threshold;
        else
            encoded[v] = (uint16_t)floor(top * pow(v / 65535.0, o.gamma) + 0.5);
    }
}

struct encoded_sheet {
    const sheet *s;
    const uint16_t *encoded;
};

void encode_row(const void *picture, uint32_t y, uint16_t *samples)
{
    const encoded_sheet *e = (const encoded_sheet *)picture;
    const uint16_t *linear = e->s->pixels + (size_t)y * e->s->width;
    for (uint32_t x = 0; x < e->s->width; x++)
        samples[x] = e->encoded[linear[x]];
}

} // namespace

bool write_scan(const char *path, const sheet &s, const scan_options &o)
{
    uint16_t *encoded = (uint16_t *)malloc(65536 * sizeof(uint16_t));
    if (!encoded) {
        fprintf(stderr, "paperscan: cannot allocate the row buffers\n");
        return false;
    }
    make_encoding(o, encoded);
    const encoded_sheet picture{&s, encoded};
    bool ok =
        write_png_file(path, s.width, s.height, format_of(o), encode_row, &picture, "paperscan");
    free(encoded);
    return ok;
}
