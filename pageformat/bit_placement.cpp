// bit_placement.cpp - where each channel bit and each cross sits on a page.
//
// The data area is read in bands of 24 rows: 6 rows that pass through a row
// of crosses (64 gaps of 18 pixels each) followed by 18 rows without crosses.
// bit_to_pixel maps a bit position straight to its pixel with that band
// structure instead of counting pixels; the tests check that both agree.
#include "page_format.h"

namespace {
constexpr uint32_t gap_width = cross_pitch - 2 * chalf;                                  // 18
constexpr uint32_t cross_row_bits = (cross_cols - 1) * gap_width;                        // 1152
constexpr uint32_t cross_band_bits = 2 * chalf * cross_row_bits;                         // 6912
constexpr uint32_t band_bits = cross_band_bits + (cross_pitch - 2 * chalf) * data_width; // 34668
static_assert(band_bits == 34668, "bits in one band of 24 rows");
static_assert((cross_rows - 1) * band_bits + cross_band_bits == bits_per_page,
              "92 whole bands and the cross rows of a 93rd");
} // namespace

void bit_to_pixel(uint32_t position, int32_t *x, int32_t *y)
{
    if (position >= bits_per_page) {
        *x = -1;
        *y = -1;
        return;
    }
    uint32_t band = position / band_bits;
    uint32_t r = position % band_bits;
    if (r < cross_band_bits) {
        uint32_t c = r % cross_row_bits;
        *x = (int32_t)(2 * chalf + c + (c / gap_width) * 2 * chalf);
        *y = (int32_t)(band * cross_pitch + r / cross_row_bits);
    } else {
        uint32_t r2 = r - cross_band_bits;
        *x = (int32_t)(r2 % data_width);
        *y = (int32_t)(band * cross_pitch + 2 * chalf + r2 / data_width);
    }
}

bool is_cross(uint32_t x, uint32_t y)
{
    return x % cross_pitch < 2 * chalf && y % cross_pitch < 2 * chalf;
}
