// soft_decision.cpp - the most likely codeword for the margins of one word.
//
// A margin is how far a bit's sample lay on the dark side of its cutlevel
// (positive: read as 1, negative: read as 0), in units of the page's typical
// margin.  Taking a codeword means overruling the bits where it differs from
// what was read; the most likely codeword is the one whose overruled bits
// have the least margin in sum (for noise of one spread on every bit this is
// the maximum-likelihood decision, and it equals the codeword of greatest
// correlation with the margins).  Every one of the 4096 codewords is weighed,
// so the answer is exact; the runner-up's sum says how close the decision
// was.  Reads golay_table; keeps no state.
#include "stage_internals.h"

#include <array>
#include <cmath>

namespace {

// The parity half of every codeword, 8 KB instead of golay_table's 32 KB, so
// that the search over all of them stays in the first-level cache.
const std::array<uint16_t, 4096> &parity_table()
{
    static const std::array<uint16_t, 4096> parity = [] {
        std::array<uint16_t, 4096> table;
        for (uint32_t d = 0; d < 4096; d++)
            table[d] = (uint16_t)(golay_table[d] & 0xFFF);
        return table;
    }();
    return parity;
}

// The summed weight of every 6-bit pattern: a pattern's sum is that of the
// pattern without its lowest bit plus the lowest bit's weight, so each sum is
// one addition, always made in the same order.  A 12-bit pattern's sum is
// that of its low six bits plus that of its high six (half_sums).
constexpr uint32_t half_bits = 6, half_patterns = 1u << half_bits;
struct half_sums {
    float low[half_patterns], high[half_patterns];
};

void fill_sums(const float *weight, float *sums)
{
    sums[0] = 0;
    for (uint32_t p = 1; p < half_patterns; p++)
        sums[p] = sums[p & (p - 1)] + weight[__builtin_ctz(p)];
}

void fill_half_sums(const float *weight, half_sums &sums)
{
    fill_sums(weight, sums.low);
    fill_sums(weight + half_bits, sums.high);
}

float sum_of(const half_sums &sums, uint32_t pattern)
{
    return sums.low[pattern % half_patterns] + sums.high[pattern / half_patterns];
}

// How much it costs to overrule a bit: its margin's size, and nothing for a
// bit whose sample told nothing (exactly on the cutlevel, or NaN).
float overrule_cost(float margin)
{
    return margin > 0 ? margin : margin < 0 ? -margin : 0.0f;
}

} // namespace

uint64_t hard_word(const float *margins)
{
    uint64_t word = 0;
    for (uint32_t n = 0; n < codeword_bits; n++)
        word = word * 2 + (margins[n] > 0 ? 1 : 0);
    return word;
}

namespace {

// Weighs the codeword whose data bits differ from those read by `e`.  Of
// equal sums the lower data word wins, and the lead of 0 then marks the
// decision as a coin toss.
void weigh(soft_decision &best, uint32_t data, float cost)
{
    if (cost < best.cost || (cost == best.cost && data < best.data)) {
        best.runner_up = best.cost;
        best.cost = cost;
        best.data = data;
    } else if (cost < best.runner_up) {
        best.runner_up = cost;
    }
}

// The data error patterns of at most two bits, weighed first: the likeliest
// codewords are among them, and once they are weighed most of the others
// fall out on their data half alone.
constexpr uint32_t light_count = 1 + 12 + 66;
struct light_patterns {
    uint16_t pattern[light_count];
    bool light[4096];
};
constexpr light_patterns make_light_patterns()
{
    light_patterns l{};
    uint32_t used = 0;
    for (uint32_t e = 0; e < 4096; e++) {
        uint32_t bits = 0;
        for (uint32_t v = e; v; v &= v - 1)
            bits++;
        l.light[e] = bits <= 2;
        if (l.light[e])
            l.pattern[used++] = (uint16_t)e;
    }
    return l;
}
constexpr light_patterns light = make_light_patterns();

} // namespace

soft_decision decide_softly(const float *margins)
{
    // Bit n of the word (n = 0 first, the most significant) is bit 23 - n;
    // data bit j is word bit 12 + j, parity bit j word bit j.
    float data_weight[data_word_bits], parity_weight[data_word_bits];
    for (uint32_t j = 0; j < data_word_bits; j++) {
        data_weight[j] = overrule_cost(margins[data_word_bits - 1 - j]);
        parity_weight[j] = overrule_cost(margins[codeword_bits - 1 - j]);
    }
    half_sums data_sums, parity_sums;
    fill_half_sums(data_weight, data_sums);
    fill_half_sums(parity_weight, parity_sums);
    // The code is linear: the codeword of data (read data ^ e) has the
    // parity (parity of the read data) ^ parity of e, so its parity bits
    // differ from those read by parity_of[e] ^ the word's syndrome.
    const std::array<uint16_t, 4096> &parity_of = parity_table();
    const uint64_t read = hard_word(margins);
    const uint32_t read_data = (uint32_t)(read >> data_word_bits);
    const uint32_t syndrome = (parity_of[read_data] ^ (uint32_t)read) & 0xFFF;
    auto cost = [&](uint32_t e, float data_sum) {
        return data_sum + sum_of(parity_sums, parity_of[e] ^ syndrome);
    };
    soft_decision best = {0, INFINITY, INFINITY};
    for (uint16_t e : light.pattern)
        weigh(best, e ^ read_data, cost(e, sum_of(data_sums, e)));
    // A codeword whose data half alone outweighs the runner-up changes
    // nothing, as no sum is negative; nor does a whole run of 64 whose high
    // six data bits do.
    for (uint32_t high = 0; high < half_patterns; high++) {
        const float high_sum = data_sums.high[high];
        if (!(high_sum < best.runner_up))
            continue;
        for (uint32_t low = 0; low < half_patterns; low++) {
            const uint32_t e = high * half_patterns + low;
            const float data_sum = data_sums.low[low] + high_sum;
            if (data_sum < best.runner_up && !light.light[e])
                weigh(best, e ^ read_data, cost(e, data_sum));
        }
    }
    return best;
}
