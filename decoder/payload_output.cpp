// payload_output.cpp - the decoded payload on standard output.
//
// Takes the 12-bit data word of every codeword, in codeword order, and packs
// its bits, most significant first, into bytes that go to standard output at
// once; nothing else ever writes to standard output.  A page holds a whole
// number of bytes, so `output_byte` is empty again at the end of every page.
// check_output, run at the end of every page and of the run, turns a failed
// write (a full disk, a closed pipe) into an error instead of a silently
// truncated payload.
#include "page_state.h"

#include <cstdio>
#include <cstdlib>

// Bits collected since the last byte, most recent in bit 0, below a sentinel
// 1: when the sentinel has reached bit 7, seven bits are held.
int32_t output_byte = 1;

void emit_data_bits(uint32_t data)
{
    for (int b = 11; b >= 0; b--) {
        const int32_t old = output_byte;
        output_byte = old * 2 + (int32_t)(data >> b & 1);
        if (old >= 128) {
            putc(output_byte & 0xFF, stdout);
            output_byte = 1;
        }
    }
}

void check_output()
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        fputs("unpaprel: cannot write output: ", stderr);
        perror("");
        exit(1);
    }
}
