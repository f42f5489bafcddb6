// fuzz_input.cpp - checksum repair and in-memory streams for the fuzz targets.
#include "fuzz_input.h"

#include <zlib.h>

#include <cstdlib>
#include <cstring>

namespace {

uint32_t big_endian_32(const uint8_t *p)
{
    return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3];
}

} // namespace

// Chunks are length, type, data, CRC of type and data; the walk stops at
// the first length that runs past the end.
void repair_png_checksums(uint8_t *data, size_t size)
{
    size_t at = 8;
    while (size >= 12 && at <= size - 12) {
        uint32_t length = big_endian_32(data + at);
        if (length > size - 12 - at)
            return;
        uint32_t crc = (uint32_t)crc32(0, data + at + 4, length + 4);
        uint8_t *out = data + at + 8 + length;
        out[0] = (uint8_t)(crc >> 24);
        out[1] = (uint8_t)(crc >> 16);
        out[2] = (uint8_t)(crc >> 8);
        out[3] = (uint8_t)crc;
        at += 12 + (size_t)length;
    }
}

uint64_t declared_pixels(const uint8_t *data, size_t size)
{
    // libpng reads ancillary chunks it does not know even before the header
    // chunk, so the header is the first chunk named IHDR, wherever it is.
    size_t at = 8;
    while (size >= 12 && at <= size - 12) {
        const uint32_t length = big_endian_32(data + at);
        if (memcmp(data + at + 4, "IHDR", 4) == 0)
            return length >= 8 && length <= size - 12 - at
                       ? (uint64_t)big_endian_32(data + at + 8) * big_endian_32(data + at + 12)
                       : 0;
        if (length > size - 12 - at)
            return 0;
        at += 12 + (size_t)length;
    }
    return 0;
}

FILE *open_repaired_png(const uint8_t *data, size_t size, uint8_t **copy)
{
    // One spare byte: fmemopen wants a buffer even for an empty input.
    *copy = (uint8_t *)malloc(size + 1);
    if (!*copy)
        return nullptr;
    if (size > 0)
        memcpy(*copy, data, size);
    repair_png_checksums(*copy, size);
    FILE *file = fmemopen(*copy, size, "rb");
    if (!file) {
        free(*copy);
        *copy = nullptr;
    }
    return file;
}

void discard_payload()
{
    if (!freopen("/dev/null", "w", stdout))
        abort();
}
