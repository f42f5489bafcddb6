// fuzz_input.h - turning the fuzzer's bytes into a scan file for the decoder.
//
// Both fuzz targets take their input as the bytes of a PNG file.  Random
// changes to a PNG almost always break a chunk checksum, and libpng would
// refuse the file there; so the bytes are copied and every checksum is
// recomputed before the decoder sees them, which lets the changes reach
// the chunk contents.  The copy is opened as a read-only stream in memory,
// as the driver hands an opened file to the stages.
#ifndef FUZZ_FUZZ_INPUT_H
#define FUZZ_FUZZ_INPUT_H

#include <cstddef>
#include <cstdint>
#include <cstdio>

// The width x height that the first header chunk declares, or 0 when the
// bytes hold no whole header chunk (libpng refuses such a file itself).
uint64_t declared_pixels(const uint8_t *data, size_t size);

// Recomputes the checksum of every whole chunk of the PNG bytes in place.
void repair_png_checksums(uint8_t *data, size_t size);

// A malloc'd copy of `data` with every chunk checksum recomputed; the caller
// frees it after closing the stream.  Returns the stream reading the copy,
// or null when no stream can be made.
FILE *open_repaired_png(const uint8_t *data, size_t size, uint8_t **copy);

// Sends the decoded payload to /dev/null.  The decoder's messages stay on
// standard error: the fuzzer (-close_fd_mask=2) or the replay program
// discards them, so that a sanitizer's report still gets through.
void discard_payload();

#endif
