// sample_bit.cpp - reading every channel bit of a page, codeword by codeword.
//
// Runs after the crosses are found and the image is conditioned.  For each
// bit it finds the bit's centre by bilinear interpolation between the four
// crosses around it (`cross_grid`), takes a sharpened sample of `image`
// there, compares it with a cutlevel interpolated between the same four
// crosses (`cross_cutlevels`), and hands the bit to receive_bit.  Along every
// eighth row and column of the data area it draws the negative of its samples
// into `work` for the debug image.  Bits are sampled a batch of codewords
// ahead of their receiving (the batch buffer is the only state it keeps).
// The batch is offered to the four-lane sampling (simd/), which takes four
// neighbouring bits at a time, each in its own lane by the same operations
// as a bit on its own; this file samples one bit at a time whatever it
// leaves.  The steps both share are in bit_sampling.h.
#include "bilinear.h"
#include "bit_sampling.h"
#include "page_state.h"
#include "simd/simd.h"
#include "stage_internals.h"

#include <cstddef>
#include <cstdint>

bit_cell locate_bit_cell(int32_t x, int32_t y)
{
    bit_cell cell;
    cell.cx = cell_column(x);
    cell.cy = cell_row(y);
    cell.fx = ((double)(x - pitch * cell.cx - centre_offset) + 0.5) / (double)pitch;
    cell.fy = ((double)(y - pitch * cell.cy - centre_offset) + 0.5) / (double)pitch;
    return cell;
}

point_f64 bit_sampling_position(const page_state &page, const bit_cell &cell)
{
    return position_in(page, cell);
}

namespace {

sampled_bit take_sample(const page_state &page, const bit_sampler &sampler, uint32_t position)
{
    int32_t x, y;
    bit_to_pixel(position, &x, &y);
    const bit_cell cell = cell_of(x, y);
    const point_f64 p = position_in(page, cell);
    const float v = sharpened_sample(sampler, p);
    const float c = interpolated_cutlevel(page, cell);
    sampled_bit s{no_mark, 0, 0, 0.0f};
    if (leaves_mark(x, y)) {
        s.mark_pixel = mark_pixel_of(page, p);
        s.mark_value = mark_value_of(v);
    }
    // Darker than the local cutlevel is a black pixel, a 1 bit; equality and
    // NaN read as 0.
    s.bit = c > v ? 1 : 0;
    s.margin = c - v;
    return s;
}

// take_sample for `count` bits from `position` on, into out[0 .. count - 1]:
// the four-lane sampling takes what it can, the rest goes bit by bit.
void take_samples(const page_state &page, const bit_sampler &sampler, uint32_t position,
                  uint32_t count, sampled_bit *out)
{
    for (uint32_t i = simd_sample_bits(page, sampler, position, count, out); i < count; i++)
        out[i] = take_sample(page, sampler, position + i);
}

void put_mark(page_state &page, const sampled_bit &s)
{
    if (s.mark_pixel != no_mark) {
        page.work[s.mark_pixel] = s.mark_value;
        note_debug_mark(page, s.mark_pixel, s.mark_value);
    }
}

// Codewords sampled per batch: the batch's bits stay in the second-level
// cache between their sampling and their replay.  The replay reads one
// entry of each of the 24 rows in turn; rows of exactly 4 KB would all fall
// into the same few first-level cache lines and push each other out, hence
// the spare entries at the end of every row.
constexpr uint32_t batch_codewords = 256, batch_row_spare = 4;
// The batch is the stage's only state: 100 KB, too large for the stack,
// and reused by every page.
sampled_bit batch[codeword_bits][batch_codewords + batch_row_spare];

// Every step-th codeword only, each bit sampled just before it is received:
// the fuzz target's quick way through a page.
void read_sparse_bits(decoder_run &run, page_state &page)
{
    const bit_sampler sampler = sampler_of(page);
    for (uint32_t k = 0; k < codewords_per_page; k += run.codeword_step)
        for (uint32_t n = 0; n < codeword_bits; n++) {
            const sampled_bit s = take_sample(page, sampler, n * codewords_per_page + k);
            put_mark(page, s);
            receive_bit(run, page, s.bit, k);
        }
}

// Samples the codewords first .. first + count - 1 (count at most
// batch_codewords) into the batch, bit index by bit index.
void sample_batch(const page_state &page, const bit_sampler &sampler, uint32_t first,
                  uint32_t count)
{
    for (uint32_t n = 0; n < codeword_bits; n++)
        take_samples(page, sampler, n * codewords_per_page + first, count, batch[n]);
}

uint32_t batch_size(uint32_t first)
{
    return codewords_per_page - first < batch_codewords ? codewords_per_page - first
                                                        : batch_codewords;
}

// The 24 bits of a codeword lie 133182 positions apart, and the error
// correction takes a whole codeword at a time, so bits are received codeword
// by codeword.  Sampling in that order would jump between 24 distant rows of
// the image for every codeword; instead a batch of codewords is sampled bit
// index by bit index, along runs of neighbouring positions, and then replayed
// in the receiving order: each bit to take(k, n, bit) for bit n of codeword
// k.  The replay also writes the sample marks, so that they and the damage
// marks of receive_bit land in `work` in the same order as if every bit
// were sampled just before it is received.
template <typename take_bit>
void replay_page(page_state &page, take_bit take)
{
    const bit_sampler sampler = sampler_of(page);
    for (uint32_t first = 0; first < codewords_per_page; first += batch_codewords) {
        const uint32_t count = batch_size(first);
        sample_batch(page, sampler, first, count);
        for (uint32_t i = 0; i < count; i++)
            for (uint32_t n = 0; n < codeword_bits; n++) {
                put_mark(page, batch[n][i]);
                take(first + i, n, batch[n][i]);
            }
    }
}

// As read_sparse_bits, for the margins: the words left out read as codeword 0.
void read_sparse_margins(page_state &page, float *margins, uint32_t codeword_step)
{
    const bit_sampler sampler = sampler_of(page);
    for (uint32_t k = 0; k < codewords_per_page; k++)
        for (uint32_t n = 0; n < codeword_bits; n++) {
            sampled_bit s{no_mark, 0, 0, 0.0f};
            if (k % codeword_step == 0)
                s = take_sample(page, sampler, n * codewords_per_page + k);
            put_mark(page, s);
            margins[(size_t)k * codeword_bits + n] = s.margin;
        }
}

} // namespace

void read_page_bits(decoder_run &run, page_state &page)
{
    begin_margin_lines(page);
    if (run.codeword_step > 1)
        read_sparse_bits(run, page);
    else
        replay_page(page, [&](uint32_t k, uint32_t, const sampled_bit &s) {
            receive_bit(run, page, s.bit, k);
        });
    end_margin_lines(page);
    flush_damage_list();
}

// The same sampling and sample marks, the margins kept instead of the bits
// decided: nothing is corrected until every scan of the page is read.
void read_page_margins(page_state &page, float *margins, uint32_t codeword_step)
{
    if (codeword_step > 1) {
        read_sparse_margins(page, margins, codeword_step);
        return;
    }
    replay_page(page, [&](uint32_t k, uint32_t n, const sampled_bit &s) {
        margins[(size_t)k * codeword_bits + n] = s.margin;
    });
}
