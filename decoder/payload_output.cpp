// payload_output.cpp - the decoded payload on standard output.
//
// Takes the 12-bit data word of every codeword, in codeword order, and packs
// its bits, most significant first, into bytes that go to standard output at
// once; nothing else ever writes to standard output.  The byte being packed
// is the run's `output_byte`; a page holds a whole number of bytes, so it is
// empty again at the end of every page.  check_output, run at the end of
// every page and of the run, turns a failed write (a full disk, a closed
// pipe) into a failure instead of a silently truncated payload.  A page the
// run has lost goes out as zero bytes (emit_lost_page), so that the pages
// after it keep their offsets.  The run counts the bytes it hands over and,
// at every check that passes, the bytes known to have left the stream
// buffer: the closing summary reports those.
#include "page_state.h"

#include <cerrno>
#include <cstdio>

void emit_data_bits(decoder_run &run, uint32_t data)
{
    // Bits collected since the last byte, most recent in bit 0, below a
    // sentinel 1: when the sentinel has reached bit 7, seven bits are held.
    int32_t byte = run.output_byte;
    for (int b = (int)data_word_bits - 1; b >= 0; b--) {
        const int32_t old = byte;
        byte = old * 2 + (int32_t)(data >> b & 1);
        if (old >= 128) {
            putc(byte & 0xFF, stdout);
            run.bytes_emitted++;
            byte = 1;
        }
    }
    run.output_byte = byte;
}

void emit_lost_page(decoder_run &run)
{
    // Whole pages only: a lost page keeps the offsets of the pages after it.
    static const uint8_t zeros[4096] = {};
    for (uint32_t left = payload_bytes_per_page; left > 0;) {
        const uint32_t piece = left < sizeof zeros ? left : (uint32_t)sizeof zeros;
        fwrite(zeros, 1, piece, stdout);
        left -= piece;
    }
    run.bytes_emitted += payload_bytes_per_page;
}

bool check_output(decoder_run &run)
{
    if (fflush(stdout) != 0 || ferror(stdout)) {
        run.output_error = errno;
        return false;
    }
    run.bytes_written = run.bytes_emitted;
    return true;
}
