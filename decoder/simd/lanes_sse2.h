// simd/lanes_sse2.h - the SSE2 pieces both four-lane files use.
//
// Four points side by side: lane k of every vector belongs to point k and
// goes through the same float operations as bilinear_mix (bilinear.h) gives
// a point on its own.  These helpers read pixels of the image and write
// nothing.  Included only by the files of simd/, which are compiled only
// where the compiler targets SSE2 (CMakeLists.txt).
#ifndef DECODER_SIMD_LANES_SSE2_H
#define DECODER_SIMD_LANES_SSE2_H

#include <emmintrin.h>

#include <cstdint>
#include <cstring>

// Two neighbouring pixels, the left one in the low byte.
inline int pixel_pair(const uint8_t *p)
{
    uint16_t pair;
    memcpy(&pair, p, sizeof pair);
    return pair;
}

// The pixel pairs at q0 .. q3, each in the low half of its 32-bit lane: the
// left pixel in the low byte, the right one in the next.
inline __m128i four_pixel_pairs(const uint8_t *q0, const uint8_t *q1, const uint8_t *q2,
                                const uint8_t *q3)
{
    __m128i pairs = _mm_setzero_si128();
    pairs = _mm_insert_epi16(pairs, pixel_pair(q0), 0);
    pairs = _mm_insert_epi16(pairs, pixel_pair(q1), 2);
    pairs = _mm_insert_epi16(pairs, pixel_pair(q2), 4);
    pairs = _mm_insert_epi16(pairs, pixel_pair(q3), 6);
    return pairs;
}

// bilinear_mix's step across a pair in every lane: right x fraction + left
// x rest.
inline __m128 mix_across(__m128i pairs, __m128 fraction, __m128 rest)
{
    const __m128 left = _mm_cvtepi32_ps(_mm_and_si128(pairs, _mm_set1_epi32(0xff)));
    const __m128 right = _mm_cvtepi32_ps(_mm_srli_epi32(pairs, 8));
    return _mm_add_ps(_mm_mul_ps(right, fraction), _mm_mul_ps(left, rest));
}

// bilinear_mix in every lane, of the 2 x 2 pixels whose top-left pixel is
// q[k], in rows `width` bytes apart.
inline __m128 bilinear_mix_four(const uint8_t *const *q, int64_t width, __m128 fx, __m128 rx,
                                __m128 fy, __m128 ry)
{
    const __m128 upper = mix_across(four_pixel_pairs(q[0], q[1], q[2], q[3]), fx, rx);
    const __m128 lower = mix_across(
        four_pixel_pairs(q[0] + width, q[1] + width, q[2] + width, q[3] + width), fx, rx);
    return _mm_add_ps(_mm_mul_ps(lower, fy), _mm_mul_ps(ry, upper));
}

#endif
