// golay.cpp - the extended Golay code (24, 12, 8) shared by both programs.
//
// The table is systematic: the data word stands in bits 23..12 and the parity
// in bits 11..0, the exclusive-or of one parity row per set data bit.  It is
// built by the compiler from the twelve rows, so it exists before main runs
// and can never be modified.
#include "page_format.h"

#include <array>

namespace {
constexpr uint32_t parity_rows[12] = {
    0x83F, 0x58F, 0x2E7, 0x573, 0x6B9, 0x35D, 0xBAC, 0x9D6, 0xCEA, 0xE74, 0xF1A, 0xFC1,
};

constexpr std::array<uint64_t, 4096> make_golay_table()
{
    std::array<uint64_t, 4096> table{};
    for (uint32_t d = 0; d < 4096; d++) {
        uint32_t parity = 0;
        for (uint32_t k = 0; k < 12; k++)
            if (d >> k & 1)
                parity ^= parity_rows[k];
        table[d] = (uint64_t)d << 12 | parity;
    }
    return table;
}

} // namespace

// Constant-initialised from the rows above: no code runs to build it.
extern const std::array<uint64_t, 4096> golay_table = make_golay_table();

uint64_t golay_encode(uint64_t data_word)
{
    return golay_table[data_word & 0xFFF];
}

uint32_t bit_count(uint64_t v)
{
    uint32_t w = (uint32_t)v;
    w = w - ((w >> 1) & 0x55555555u);
    w = (w & 0x33333333u) + ((w >> 2) & 0x33333333u);
    w = (w + (w >> 4)) & 0x0F0F0F0Fu;
    w = w + (w >> 8);
    w = w + (w >> 16);
    return w & 0xFF;
}
