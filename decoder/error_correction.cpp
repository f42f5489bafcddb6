// error_correction.cpp - Golay decoding of every codeword and the damage report.
//
// receive_bit collects the 24 sampled bits of a codeword (most significant
// first) and decode_codeword corrects the word to the codeword within 3 bits,
// or passes the received data bits on as irreparable.  Every corrected bit and
// every bit of an irreparable word is listed on standard error with its input
// pixel and marked in `work` (a ring around it, lines from the margin); the
// list is gathered and written out in large pieces (flush_damage_list).  The
// per-page counters in `page_damage` are printed by report_page_damage at the
// end of the page.  Reads `cross_grid`, the bit sizes and the page bounds of
// the page record; the word being received and the counters are the run's.
// Hands every data word to emit_data_bits.
#include "stage_internals.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The damage list of a dusty page runs to tens of thousands of entries, and
// standard error is unbuffered: written as it is made, each entry would be a
// call into the system, slower than finding the damage.  It is gathered here
// and written out whenever the buffer fills and by flush_damage_list, which
// runs before anything else is said about the page.  Like the buffer of a
// stream it belongs to standard error, not to a page or a run, and lives as
// long as the process.
struct text_buffer {
    char bytes[65536];
    size_t used;
};
text_buffer damage_list;

void add_to_damage_list(const char *text, size_t length)
{
    if (length > sizeof damage_list.bytes - damage_list.used)
        flush_damage_list();
    if (length > sizeof damage_list.bytes) {
        fwrite(text, 1, length, stderr);
        return;
    }
    memcpy(damage_list.bytes + damage_list.used, text, length);
    damage_list.used += length;
}

void add_to_damage_list(const char *text)
{
    add_to_damage_list(text, strlen(text));
}

const char damage_header[] =
    "The following coordinates have damaged bits. \",\" is black dirt, \"'\" white dirt, "
    "\":\"bit which is a part of an irreparable symbol. Exclamation marks (!) indicate "
    "irreparable damage: ";

// The margin lines of the debug image, each a row or column from the page's
// side to the image's edge: [0, h) left of the page on row y, [h, 2h) right
// of it, [2h, 2h + w) above it on column x, [2h + w, 2h + 2w) below it.  A
// flag is 1 while its line is drawn whole.  A noise page has a damaged bit
// on nearly every row and column, and drawing every bit's lines anew took
// minutes on a large white image; drawing a line again only changes pixels
// that a ring or a sample mark has painted over since, which clears its
// flag.  Lines are all black (0), so a black pixel painted on one keeps it
// whole.
enum margin_side { left_of_page, right_of_page, above_page, below_page };

uint8_t *margin_line_flag(page_state &page, margin_side side, uint64_t at)
{
    const uint64_t h = page.height, w = page.width;
    const uint64_t first[4] = {0, h, 2 * h, 2 * h + w};
    return page.margin_lines->whole + first[side] + at;
}

void put_pixel(page_state &page, int64_t column, int64_t row, uint8_t value)
{
    if (column >= 0 && column < page.width && row >= 0 && row < page.height) {
        page.work[(size_t)row * page.width + (size_t)column] = value;
        if (value != 0 && page.margin_lines)
            margin_pixel_painted(page, (uint64_t)column, (uint64_t)row);
    }
}

// Whether the line on `side` of row or column `at` must be drawn: it lies on
// the image and is not known to be whole there.  Marks it whole, as it is
// about to be.
bool margin_line_wanted(page_state &page, margin_side side, int64_t at)
{
    const int64_t count = side == left_of_page || side == right_of_page ? page.height : page.width;
    if (at < 0 || at >= count)
        return false; // every pixel of it lies off the image
    if (!page.margin_lines)
        return true;
    uint8_t *flag = margin_line_flag(page, side, (uint64_t)at);
    const bool wanted = *flag == 0;
    *flag = 1;
    return wanted;
}

// Black dirt and irreparable bits are pointed at from the margins left of and
// above the page, white dirt from those right of and below it.
void draw_margin_lines(page_state &page, int64_t bx, int64_t by, int32_t kind)
{
    if (kind == white_dirt_kind) {
        if (margin_line_wanted(page, right_of_page, by))
            for (uint64_t x = page.page_right; x + 1 <= page.width; x++)
                put_pixel(page, (int64_t)x, by, 0);
        if (margin_line_wanted(page, below_page, bx))
            for (uint64_t y = page.page_bottom; y + 1 <= page.height; y++)
                put_pixel(page, bx, (int64_t)y, 0);
    } else {
        if (margin_line_wanted(page, left_of_page, by))
            for (uint64_t x = 0; x < page.page_left; x++)
                put_pixel(page, (int64_t)x, by, 0);
        if (margin_line_wanted(page, above_page, bx))
            for (uint64_t y = 0; y < page.page_top; y++)
                put_pixel(page, bx, (int64_t)y, 0);
    }
}

// Square ring of colour outer at distance r around a ring of colour inner at
// distance r - 1; the second pass overwrites where they meet.
void draw_rings(page_state &page, int64_t bx, int64_t by, int64_t r, uint8_t inner, uint8_t outer)
{
    for (int64_t t = 0; t <= 2 * r; t++) {
        put_pixel(page, bx - r + t, by - r + 1, inner);
        put_pixel(page, bx - r + t, by + r - 1, inner);
        put_pixel(page, bx - r + 1, by - r + t, inner);
        put_pixel(page, bx + r - 1, by - r + t, inner);
    }
    for (int64_t t = 0; t <= 2 * r; t++) {
        put_pixel(page, bx - r + t, by - r, outer);
        put_pixel(page, bx - r + t, by + r, outer);
        put_pixel(page, bx - r, by - r + t, outer);
        put_pixel(page, bx + r, by - r + t, outer);
    }
}

} // namespace

void begin_margin_lines(page_state &page)
{
    // Without the record every line is drawn every time: slower, the same.
    const size_t lines = 2 * ((size_t)page.width + page.height);
    page.margin_lines = (margin_line_record *)malloc(sizeof(margin_line_record) + lines);
    if (!page.margin_lines)
        return;
    page.margin_lines->inverse_width = 1.0 / page.width;
    page.margin_lines->whole = (uint8_t *)(page.margin_lines + 1);
    memset(page.margin_lines->whole, 0, lines);
}

void end_margin_lines(page_state &page)
{
    free(page.margin_lines);
    page.margin_lines = nullptr;
}

// The lines through a pixel painted other than black are no longer whole.
void margin_pixel_painted(page_state &page, uint64_t x, uint64_t y)
{
    if (x < page.page_left)
        *margin_line_flag(page, left_of_page, y) = 0;
    if (x >= page.page_right)
        *margin_line_flag(page, right_of_page, y) = 0;
    if (y < page.page_top)
        *margin_line_flag(page, above_page, x) = 0;
    if (y >= page.page_bottom)
        *margin_line_flag(page, below_page, x) = 0;
}

void flush_damage_list()
{
    if (damage_list.used > 0)
        fwrite(damage_list.bytes, 1, damage_list.used, stderr);
    damage_list.used = 0;
}

void clear_damage_stats(decoder_run &run)
{
    run.damage = damage_stats{};
    run.soft_damage = soft_counts{};
    run.damage_header_written = false;
}

point_i64 mark_badbit(page_state &page, int32_t x, int32_t y, int32_t kind)
{
    const point_f64 p = bit_sampling_position(page, locate_bit_cell(x, y));
    const int64_t bx = (int64_t)floor(p.x + 0.5), by = (int64_t)floor(p.y + 0.5);
    const int32_t r = (int32_t)floor(2 * sqrt(page.bit_width * page.bit_height) + 0.5);

    static const uint8_t inner[3] = {255, 0, 0}, outer[3] = {0, 255, 128};
    draw_margin_lines(page, bx, by, kind);
    if (r >= 0)
        draw_rings(page, bx, by, r, inner[kind], outer[kind]);
    return {bx, by};
}

void print_badbit(decoder_run &run, page_state &page, int32_t codeword, int32_t bit, int32_t kind)
{
    // The list header goes out once per page, before its first coordinate.
    if (!run.damage_header_written) {
        add_to_damage_list(damage_header);
        run.damage_header_written = true;
    }
    if (kind == black_dirt_kind) {
        run.damage.black_dirt++;
        run.damage.bad_bits++;
    } else if (kind == white_dirt_kind) {
        run.damage.white_dirt++;
        run.damage.bad_bits++;
    }
    int32_t x, y;
    bit_to_pixel((uint32_t)bit * codewords_per_page + (uint32_t)codeword, &x, &y);
    unpaprel_assert(x >= 0, "x>=0");
    const point_i64 b = mark_badbit(page, x, y, kind);
    static const char mark[3] = {'\'', ',', ':'};
    char entry[64];
    const int length = snprintf(entry, sizeof entry, "%ld%c%ld ", (long)b.x, mark[kind], (long)b.y);
    add_to_damage_list(entry, (size_t)length);
}

namespace {

// The 12 parity bits a 24-bit word fails: zero for a codeword, and for any
// word the same as for its difference from the nearest codeword.
uint32_t syndrome(uint64_t word)
{
    return (uint32_t)((golay_table[(word >> data_word_bits) & 0xFFF] ^ word) & 0xFFF);
}

// For every syndrome, the error pattern of at most 3 bits that has it, or
// no_pattern.  Two such patterns never share a syndrome: they would differ
// by a codeword of weight 6 or less, and the code's minimum distance is 8.
// So a word within distance 3 of a codeword differs from it by exactly the
// pattern of its syndrome, and the codeword is the one a search of the whole
// table would find.
const std::array<uint32_t, 4096> &error_patterns()
{
    static const std::array<uint32_t, 4096> patterns = [] {
        std::array<uint32_t, 4096> table;
        table.fill(no_pattern);
        table[0] = 0;
        for (uint32_t a = 0; a < codeword_bits; a++)
            for (uint32_t b = a; b < codeword_bits; b++)
                for (uint32_t c = b; c < codeword_bits; c++) {
                    // Bits a, b and c, with repeats folded: 1, 2 or 3 bits.
                    uint32_t e = 1u << a | 1u << b | 1u << c;
                    table[syndrome(e)] = e;
                }
        return table;
    }();
    return patterns;
}

} // namespace

uint32_t hard_correction(uint64_t w)
{
    return error_patterns()[syndrome(w)];
}

void report_irreparable(decoder_run &run, page_state &page, uint32_t k)
{
    add_to_damage_list("\n");
    for (int32_t n = 0; n < (int32_t)codeword_bits; n++)
        print_badbit(run, page, (int32_t)k, n, irreparable_kind);
    add_to_damage_list("!\n");
    run.damage.irreparable += 4;
    run.damage.bad_bits += 4;
    run.damage.golay_stats[4]++;
}

void report_corrected_bits(decoder_run &run, page_state &page, uint64_t w, uint32_t e, uint32_t k)
{
    constexpr int32_t bits = (int32_t)codeword_bits;
    for (int32_t n = 0; n < bits; n++)
        if (e >> (bits - 1 - n) & 1)
            print_badbit(run, page, (int32_t)k, n, (int32_t)(w >> (bits - 1 - n) & 1));
}

uint32_t decode_codeword(decoder_run &run, page_state &page, uint64_t w, uint32_t k)
{
    const uint32_t d = (uint32_t)(w >> data_word_bits);
    if ((golay_table[d] & 0xFFFFFF) == (w & 0xFFFFFF)) {
        run.damage.golay_stats[0]++;
        return d;
    }
    const uint32_t e = hard_correction(w);
    if (e != no_pattern) {
        report_corrected_bits(run, page, w, e, k);
        run.damage.golay_stats[bit_count(e)]++;
        return (uint32_t)((w ^ e) >> data_word_bits);
    }
    report_irreparable(run, page, k);
    return d;
}

void receive_bit(decoder_run &run, page_state &page, int bit, uint32_t k)
{
    run.received_word = run.received_word * 2 + (uint64_t)bit;
    run.received_count++;
    if (run.received_count == codeword_bits) {
        emit_data_bits(run, decode_codeword(run, page, run.received_word, k));
        run.received_word = 0;
        run.received_count = 0;
    }
}

void report_page_damage(decoder_run &run)
{
    flush_damage_list();
    const damage_stats &s = run.damage;
    if (s.bad_bits > 0) {
        const double bad = (double)s.bad_bits;
        fprintf(
            stderr,
            "\n%lu bits bad from %lu, bit error rate %G%%. %G%% black dirt, %G%% white dirt and "
            "%lu (%G%%) irreparable.\n",
            (unsigned long)s.bad_bits, (unsigned long)bits_per_page,
            (double)s.bad_bits * 100.0 / (double)bits_per_page, (double)s.black_dirt * 100.0 / bad,
            (double)s.white_dirt * 100.0 / bad, (unsigned long)s.irreparable,
            (double)s.irreparable * 100.0 / bad);
    } else {
        fputs("No bad bits!\n", stderr);
    }
    // Under --soft, codewords corrected in more than 3 bits have a row of
    // their own, so that the rows still add up to the total.
    const uint64_t *g = s.golay_stats;
    const uint64_t beyond = run.soft_damage.beyond;
    fprintf(
        stderr,
        "Golay stats\n===========\n0 bad bits      %lu\n1 bad bit       %lu\n2 bad bits      %lu\n"
        "3 bad bits      %lu\n",
        (unsigned long)g[0], (unsigned long)g[1], (unsigned long)g[2], (unsigned long)g[3]);
    if (run.soft)
        fprintf(stderr, "more bad bits   %lu\n", (unsigned long)beyond);
    fprintf(stderr, "4 bad bits      %lu\ntotal codewords %lu\n", (unsigned long)g[4],
            (unsigned long)(g[0] + g[1] + g[2] + g[3] + g[4] + beyond));
    if (run.soft)
        report_soft_decisions(run);
}
