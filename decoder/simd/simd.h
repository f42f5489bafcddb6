// simd/simd.h - the decoder's four-lane sampling, as the stage files see it.
//
// The cross search and the bit sampling take their millions of samples four
// at a time where the compiler targets SSE2 (every x86-64):
// cross_search_sse2.cpp and bit_sampling_sse2.cpp beside this header.  The
// stage files hold the plain way of every step and offer each step to the
// functions below first.  A function either does the whole of what it
// takes, every value bit for bit what the plain path gives, or says that it
// cannot (false, or fewer bits than offered) and leaves the rest of the
// output as it was; the stage file then takes its plain path.
//
// Built with PAPREL_SIMD off, or by a compiler without SSE2, the SSE2 files
// are not compiled and PAPREL_SIMD_SSE2 is not defined (CMakeLists.txt):
// the functions are then stubs that always say no, and the compiler drops
// them together with their calls.
#ifndef DECODER_SIMD_SIMD_H
#define DECODER_SIMD_SIMD_H

#include "bilinear.h"
#include "bit_sampling.h"

#include <cstdint>

#if defined(PAPREL_SIMD_SSE2)

constexpr bool simd_built = true;

// quadrant_score (find_crosses.cpp) of points[0 .. 3] into scores[0 .. 3];
// false when the four cannot go side by side.
bool simd_four_scores(const page_state &page, const point_f64 *points, float *scores);

// The four samples of sample_four_offsets (find_crosses.cpp) into
// out[0 .. 3]; false when any of the points is not inside the image.
bool simd_four_offsets(const sample_grid &g, const offset_frame &f, double a, double b, double da,
                       double db, float *out);

// take_sample (sample_bit.cpp) of the bits from `position` on, four at a
// time, into out[0 ..]; returns how many bits it took: `count` rounded down
// to a multiple of four, or 0.
uint32_t simd_sample_bits(const page_state &page, const bit_sampler &sampler, uint32_t position,
                          uint32_t count, sampled_bit *out);

#else

constexpr bool simd_built = false;

inline bool simd_four_scores(const page_state &, const point_f64 *, float *)
{
    return false;
}

inline bool simd_four_offsets(const sample_grid &, const offset_frame &, double, double, double,
                              double, float *)
{
    return false;
}

inline uint32_t simd_sample_bits(const page_state &, const bit_sampler &, uint32_t, uint32_t,
                                 sampled_bit *)
{
    return 0;
}

#endif

#endif
