// sha256.h - the SHA-256 digest, for the checksum a cover sheet prints.
//
// A restorer checks the rebuilt file with any sha256sum, decades from now,
// so the digest must be the standard one; it is written here rather than
// taken from a library so that the programs need nothing beyond libpng and
// zlib.  Reads and writes only the memory it is given.
#ifndef PAGEFORMAT_SHA256_H
#define PAGEFORMAT_SHA256_H

#include <cstddef>
#include <cstdint>

struct sha256_state {
    uint32_t hash[8];
    unsigned char block[64];
    uint32_t block_size; // bytes waiting in block
    uint64_t length;     // bytes taken so far
};

void sha256_begin(sha256_state *state);
void sha256_update(sha256_state *state, const void *data, size_t size);
// Pads the message and writes the digest as 64 lowercase hex digits and a
// terminating zero, the way sha256sum prints it.
void sha256_finish(sha256_state *state, char hex[65]);

#endif
