// random.h - the simulator's own pseudo-random numbers.
//
// splitmix64: tiny, fast and good enough for noise and dust, and above all
// the same on every machine, so a seed names one exact scan.  Every effect
// draws from its own stream (derive_seed), so that turning one effect up or
// down does not move the dust or change the noise of another.
#ifndef PAPERSCAN_RANDOM_H
#define PAPERSCAN_RANDOM_H

#include <cstdint>

struct random_stream {
    uint64_t state;
};

inline uint64_t next_u64(random_stream *r)
{
    uint64_t z = (r->state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

// Uniform in [0, 1), 53 bits.
inline double next_uniform(random_stream *r)
{
    return (double)(next_u64(r) >> 11) * (1.0 / 9007199254740992.0);
}

// Uniform in [lo, hi).
inline double next_between(random_stream *r, double lo, double hi)
{
    return lo + (hi - lo) * next_uniform(r);
}

// Approximately normal with mean 0 and standard deviation 1: the sum of four
// 16-bit uniforms (Irwin-Hall), which is cheap enough for 35 million pixels
// and has the exact variance; its tails stop at 3.46.
inline double next_normal(random_stream *r)
{
    uint64_t v = next_u64(r);
    double sum = (double)(v & 0xFFFF) + (double)((v >> 16) & 0xFFFF) +
                 (double)((v >> 32) & 0xFFFF) + (double)(v >> 48);
    return (sum * (1.0 / 65536.0) - 2.0) * 1.7320508075688772;
}

// A seed for stream `stream` of the run seeded with `seed`.
inline uint64_t derive_seed(uint64_t seed, uint64_t stream)
{
    random_stream r{seed ^ (stream * 0xD1B54A32D192ED03ull)};
    next_u64(&r);
    return next_u64(&r);
}

#endif
