// soft_correction.cpp - error correction from the margins of one or more
// scans of a page (unpaprel --soft).
//
// read_page_margins keeps, for every bit of a scan, its cutlevel less its
// sharpened sample.  Each scan's margins are divided by their own typical
// size (scans differ in contrast) and capped, so that a speck of dust cannot
// outvote the rest of a word; the scans of one page are summed bit by bit.
// A word whose signs already form a codeword is taken as it is.  Every other
// word goes to decide_softly, the most likely of all 4096 codewords; when the
// runner-up comes too close, the decision is doubtful and the word counts as
// irreparable.  The damage list and the counters are those of the hard
// decision (the bits the decision overruled, or an irreparable word), told
// in the first scan's pixels and marked in every scan's debug image; the
// page's report adds what the soft decision did differently.  Hands every
// data word to emit_data_bits.
#include "stage_internals.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// The bits of every sample_stride-th codeword tell the typical margin of a
// page well enough (133176 of them, spread over the whole page), at a small
// part of the cost of sorting them all; whole words, so that only a
// twenty-fourth of the margins is read.
constexpr size_t sample_stride = 24;

float magnitude(float margin)
{
    return margin > 0 ? margin : margin < 0 ? -margin : 0.0f;
}

// The median size of the page's margins, or 0 when there is no memory to
// find it (the caller then takes 1: the margins as they are).
float median_magnitude(const float *margins)
{
    const size_t words = codewords_per_page / sample_stride, count = words * codeword_bits;
    float *sizes = (float *)malloc(count * sizeof(float));
    if (!sizes)
        return 0;
    for (size_t w = 0; w < words; w++)
        for (size_t n = 0; n < codeword_bits; n++)
            sizes[w * codeword_bits + n] =
                magnitude(margins[w * sample_stride * codeword_bits + n]);
    std::nth_element(sizes, sizes + count / 2, sizes + count);
    const float median = sizes[count / 2];
    free(sizes);
    return median;
}

// The 24 margins of a word at the page's scale: multiplied by the inverse
// of the typical margin and capped (a NaN reads as 0, nothing known, as the
// hard decision reads it).
void scale_word(const float *margins, const margin_scale &scale, float *out)
{
    for (uint32_t n = 0; n < codeword_bits; n++) {
        const float m = margins[n] * scale.inverse;
        out[n] = m > scale.cap ? scale.cap : m < -scale.cap ? -scale.cap : m == m ? m : 0.0f;
    }
}

// The word each codeword was read as, for the page being corrected: the
// first pass over the margins finds them and how many are damaged, the
// second corrects those.  Like the sampler's batch it is reused by every
// page.
uint32_t read_words[codewords_per_page];

// What makes a decision doubtful on this page: a lead under least_lead
// (the page's doubt_lead), unless the hard decision corrects every word of
// the page and takes the same codeword.  The runner-up then overrules
// barely more than the chosen codeword, so that a little more noise on a
// bit or two would have chosen the other; but where the hard decision
// alone would have given the page back, --soft must not fail it for a
// close call that both decisions make alike.
struct page_doubt {
    float least_lead;
    bool hard_whole;
};

bool doubtful(const soft_decision &d, const page_doubt &doubt, bool agrees_with_hard)
{
    return d.runner_up - d.cost < doubt.least_lead && !(doubt.hard_whole && agrees_with_hard);
}

// The marks of codeword k's damaged bits (those set in `bits`, of the word
// `w` as read) in the other scans' debug images.
void mark_other_scans(page_state *const *scans, uint32_t scan_count, uint32_t k, uint32_t bits,
                      uint64_t w, bool irreparable)
{
    constexpr uint32_t last = codeword_bits - 1;
    for (uint32_t s = 1; s < scan_count; s++)
        for (uint32_t n = 0; n <= last; n++)
            if (bits >> (last - n) & 1) {
                int32_t x, y;
                bit_to_pixel(n * codewords_per_page + k, &x, &y);
                const int32_t kind =
                    irreparable ? irreparable_kind : (int32_t)(w >> (last - n) & 1);
                mark_badbit(*scans[s], x, y, kind);
            }
}

// The hard decision's correction `e` when it is surely the most likely
// codeword, without weighing all 4096: every other codeword differs from
// the word read in at least 8 - |e| bits (codewords lie 8 apart), so it
// overrules at least the 8 - |e| weakest margins.  When even those outweigh
// the correction's own by the least lead, the full search could only agree,
// and find the decision sure.  Most damaged words of a page are such.
bool surely_hard(const float *margins, uint32_t e, float least_lead)
{
    const uint32_t fewest = 8 - bit_count(e); // 5 to 7
    float weakest[8], own = 0;                // the fewest smallest, rising
    uint32_t kept = 0;
    for (uint32_t n = 0; n < codeword_bits; n++) {
        const float size = magnitude(margins[n]);
        if (e >> (codeword_bits - 1 - n) & 1)
            own += size;
        uint32_t i = kept < fewest ? kept++ : fewest;
        for (; i > 0 && weakest[i - 1] > size; i--)
            if (i < fewest)
                weakest[i] = weakest[i - 1];
        if (i < fewest)
            weakest[i] = size;
    }
    float least = 0;
    for (uint32_t i = 0; i < fewest; i++)
        least += weakest[i];
    return least - own >= least_lead;
}

// One word that is no codeword as read: the soft decision (or the hard
// decision's correction where that is surely the same), reported as the
// hard decision reports its corrections, and what it did differently.
uint32_t correct_word(decoder_run &run, page_state *const *scans, uint32_t scan_count,
                      const float *margins, uint32_t k, const page_doubt &doubt)
{
    const uint64_t read = hard_word(margins);
    const uint32_t hard = hard_correction(read);
    soft_counts &soft = run.soft_damage;
    uint32_t e = hard;
    if (hard == no_pattern || !surely_hard(margins, hard, doubt.least_lead)) {
        const soft_decision d = decide_softly(margins);
        const bool agrees =
            hard != no_pattern && (uint32_t)((read ^ hard) >> data_word_bits) == d.data;
        if (doubtful(d, doubt, agrees)) {
            soft.doubtful++;
            report_irreparable(run, *scans[0], k);
            mark_other_scans(scans, scan_count, k, 0xFFFFFF, read, true);
            return d.data; // still the likeliest data, damaged or not
        }
        e = (uint32_t)((golay_table[d.data] ^ read) & 0xFFFFFF);
    }
    report_corrected_bits(run, *scans[0], read, e, k);
    mark_other_scans(scans, scan_count, k, e, read, false);
    const uint32_t overruled = bit_count(e);
    if (overruled <= 3)
        run.damage.golay_stats[overruled]++;
    else
        soft.beyond++;
    if (hard == no_pattern)
        soft.rescued++;
    else if (hard != e)
        soft.overruled++;
    return (uint32_t)((read ^ e) >> data_word_bits);
}

// The z for which a normal variable exceeds z with probability p (0 < p <
// 0.5), by bisection: 60 halvings of [0, 40] leave far less than a float's
// error.
double normal_tail_point(double p)
{
    double low = 0, high = 40;
    for (int i = 0; i < 60; i++) {
        const double middle = (low + high) / 2;
        if (0.5 * std::erfc(middle / std::sqrt(2.0)) > p)
            low = middle;
        else
            high = middle;
    }
    return (low + high) / 2;
}

} // namespace

float lead_scale(double damaged_share, float typical)
{
    // A word of 24 bits each misread with probability p is no codeword with
    // probability 1 - (1 - p)^24, nearly always.
    double p = 1 - std::pow(1 - damaged_share, 1.0 / codeword_bits);
    p = p < 1e-7 ? 1e-7 : p > 0.4 ? 0.4 : p;
    const double z = normal_tail_point(p);
    return (float)(2 * z * z / (typical > 0 ? typical : 1));
}

float doubt_lead(double damaged_share, float typical)
{
    return soft_doubt_llr / lead_scale(damaged_share, typical);
}

margin_scale scan_scale(const float *margins)
{
    const float median = median_magnitude(margins);
    const float inverse = median > 0 && median < INFINITY ? 1.0f / median : 1.0f;
    // Capped at the median, half the margins are exactly 1: typical is 1.
    return {inverse, soft_margin_cap, 1.0f};
}

margin_scale summed_scale(const float *sum)
{
    const float median = median_magnitude(sum);
    return {1.0f, INFINITY, median > 0 && median < INFINITY ? median : 1.0f};
}

void normalise_margins(float *margins, const margin_scale &scale)
{
    for (size_t k = 0; k < codewords_per_page; k++)
        scale_word(margins + k * codeword_bits, scale, margins + k * codeword_bits);
}

void add_margins(float *sum, const float *margins)
{
    for (size_t i = 0; i < bits_per_page; i++)
        sum[i] += margins[i];
}

margin_scale combine_scans(float *const *margins, uint32_t count, float cap)
{
    if (count == 1) {
        margin_scale scale = scan_scale(margins[0]);
        scale.cap = cap;
        return scale;
    }
    for (uint32_t s = 0; s < count; s++) {
        margin_scale own = scan_scale(margins[s]);
        own.cap = cap;
        normalise_margins(margins[s], own);
        if (s > 0)
            add_margins(margins[0], margins[s]);
    }
    return summed_scale(margins[0]);
}

page_words count_page_words(const float *margins)
{
    page_words words = {0, 0};
    for (uint32_t k = 0; k < codewords_per_page; k++) {
        const uint64_t read = hard_word(margins + (size_t)k * codeword_bits);
        read_words[k] = (uint32_t)read;
        if (golay_table[read >> data_word_bits] != read) {
            words.damaged++;
            words.hard_irreparable += hard_correction(read) == no_pattern;
        }
    }
    return words;
}

void correct_page_softly(decoder_run &run, page_state *const *scans, uint32_t scan_count,
                         const float *margins, const margin_scale &scale)
{
    const page_words words = count_page_words(margins);
    const page_doubt doubt = {doubt_lead((double)words.damaged / codewords_per_page, scale.typical),
                              words.hard_irreparable == 0};
    for (uint32_t s = 0; s < scan_count; s++)
        begin_margin_lines(*scans[s]);
    for (uint32_t k = 0; k < codewords_per_page; k++) {
        const uint32_t read = read_words[k], d = read >> data_word_bits;
        if (golay_table[d] == read) {
            run.damage.golay_stats[0]++;
            emit_data_bits(run, d);
            continue;
        }
        float word[codeword_bits];
        scale_word(margins + (size_t)k * codeword_bits, scale, word);
        emit_data_bits(run, correct_word(run, scans, scan_count, word, k, doubt));
    }
    for (uint32_t s = 0; s < scan_count; s++)
        end_margin_lines(*scans[s]);
    flush_damage_list();
}

void report_soft_decisions(const decoder_run &run)
{
    // Every codeword taken otherwise lies 4 or more bits from the word read
    // (the hard decision's own lies within 3, and codewords 8 apart), so
    // the count is also that of the table's "more bad bits".
    const soft_counts &s = run.soft_damage;
    fprintf(stderr,
            "Soft decision: %lu codewords taken otherwise than the hard decision (%lu it could "
            "not correct, %lu it corrected to another codeword), %lu doubtful and left "
            "irreparable.\n",
            (unsigned long)(s.rescued + s.overruled), (unsigned long)s.rescued,
            (unsigned long)s.overruled, (unsigned long)s.doubtful);
}
