// stage_internals.h - the steps inside the decoder's stages, for the tests.
//
// Nothing in unpaprel calls these from outside the stage file that defines
// them; they are declared here so that the unit tests can check each step on
// its own (a cross score, one cycle of conditioning, one codeword).  The
// program's own map is page_state.h.
#ifndef DECODER_STAGE_INTERNALS_H
#define DECODER_STAGE_INTERNALS_H

#include "page_state.h"

// find_corners.cpp: the angle of a unit vector in degrees, as the skew line
// prints it.
double axis_angle(point_f64 u);

// orientation.cpp: how a scan lies, in quarter turns counter-clockwise as
// seen in the scan (paperscan's --rotate), and the steps of finding it out.
enum page_turn { turned_none = 0, turned_90, turned_180, turned_270 };
// Crosses seen out of the 65 of the first row, where that row lies if the
// page lies turned by `turn` between the corners found.
uint32_t first_row_crosses(const page_state &page, page_turn turn);
page_turn find_page_turn(const page_state &page);
// Turns `image` back by `turn` (a quarter turn through `work`).
void turn_image(page_state &page, page_turn turn);

// find_crosses.cpp: the steps of finding one cross.
float cross_correl_search(const page_state &page, int32_t xpos, int32_t ypos);
float quadrant_score(const page_state &page, double x, double y);
float measure_cutlevel(const page_state &page, point_f64 centre);
void fill_search_area(page_state &page, point_f64 prediction);
point_f64 whole_pixel_search(const page_state &page, point_f64 prediction);
point_f64 quarter_pixel_refine(const page_state &page, point_f64 p0, float *best_score = nullptr);
void mark_point(page_state &page, double x, double y);
// One cross's entry of the progress table ("%02x " of the rounded level),
// appended to `line` of `size` bytes at `used`; returns the new length.
size_t append_cross_cutlevel(char *line, size_t size, size_t used, float cutlevel);

// condition_image.cpp: one cycle of each kind, on `image` in place.
void max_cycle(page_state &page);
void min_cycle(page_state &page);
void blur_cycle(page_state &page);

// read_label.cpp: a cell of 13 x 24 label pixels packed four rows to a
// word, bit 13 (r % 4) + c of word r / 4 for the pixel in column c of row r,
// set for white; the glyph pictures packed so; one cell against all of them;
// and the fields of a label's text.
constexpr uint32_t cell_rows_per_word = 4;
constexpr uint32_t cell_words = text_height / cell_rows_per_word;
static_assert(cell_rows_per_word * glyph_width <= 64, "four rows of a cell fit a word");
struct label_cell {
    uint64_t words[cell_words];
};
void set_cell_white(label_cell &cell, uint32_t c, uint32_t r);
struct label_glyph_cells {
    label_cell cells[label_glyphs];
};
void pack_glyphs(label_glyph_cells &glyphs);
// The character of the picture nearest the cell, the pixels it differs in,
// and how many more the second nearest differs in.
struct label_cell_match {
    char character;
    uint32_t distance, gap;
};
label_cell_match match_label_cell(const label_glyph_cells &glyphs, const label_cell &cell);
// Fills the fields of `label` from its text; false (and `parsed` false)
// when the text does not have the form.
bool parse_label_text(page_label &label);

// png_io.cpp: the 256 display-gamma entries of the debug image.
void fill_gamma_table(uint8_t *table);

// error_correction.cpp: one received word, and one damaged bit.
enum damage_kind { white_dirt_kind = 0, black_dirt_kind = 1, irreparable_kind = 2 };
uint32_t decode_codeword(decoder_run &run, page_state &page, uint64_t w, uint32_t k);
void print_badbit(decoder_run &run, page_state &page, int32_t codeword, int32_t bit, int32_t kind);
// print_badbit's marks in `work` alone, for the bit at data-area pixel
// (x, y), nothing counted or said: the pixel the bit's centre falls on.
struct point_i64 {
    int64_t x, y;
};
point_i64 mark_badbit(page_state &page, int32_t x, int32_t y, int32_t kind);
// The error pattern of at most 3 bits that makes `w` a codeword, or
// no_pattern when there is none (the hard decision finds it irreparable).
constexpr uint32_t no_pattern = 0xFFFFFFFF;
uint32_t hard_correction(uint64_t w);
// The damage list and counters of an irreparable codeword k, and of the
// corrected bits `e` of the word `w` received as codeword k.
void report_irreparable(decoder_run &run, page_state &page, uint32_t k);
void report_corrected_bits(decoder_run &run, page_state &page, uint64_t w, uint32_t e, uint32_t k);
// soft_decision.cpp: the most likely codeword for the 24 margins of a word
// (bit 0 of the codeword, its most significant, first), and the word the
// margins read as (1 where a margin is positive).
struct soft_decision {
    uint32_t data;   // data word of the most likely codeword
    float cost;      // the margins of the bits it overrules, summed
    float runner_up; // the same sum for the next most likely codeword
};
soft_decision decide_softly(const float *margins);
uint64_t hard_word(const float *margins);

// soft_correction.cpp: the steps of combine_scans: one scan's scale, the
// scale of a sum, one scan brought to a scale in place, and sum += margins.
margin_scale scan_scale(const float *margins);
margin_scale summed_scale(const float *sum);
void normalise_margins(float *margins, const margin_scale &scale);
void add_margins(float *sum, const float *margins);
// What a unit of margin is worth in natural
// log-likelihood, read as a normal noise whose spread makes the page's
// share of damaged words (`typical` the margins' median size); the least
// lead of a decision that is not doubtful (soft_doubt_llr in margin units);
// and how many words of a page of margins are no codeword as read, and of
// those how many the hard decision cannot correct.
float lead_scale(double damaged_share, float typical);
float doubt_lead(double damaged_share, float typical);
struct page_words {
    uint32_t damaged, hard_irreparable;
};
page_words count_page_words(const float *margins);
// The page's line on what the soft decision did.
void report_soft_decisions(const decoder_run &run);

// The record of which margin lines the debug image holds whole, so that a
// line is drawn once and not again for every damaged bit on its row or
// column: begun and ended by read_page_bits (without it, as when a test
// calls print_badbit alone, every line is drawn every time, which gives the
// same image).
void begin_margin_lines(page_state &page);
void end_margin_lines(page_state &page);
// The pixel at (x, y), on the image, now has a debug mark other than black.
void margin_pixel_painted(page_state &page, uint64_t x, uint64_t y);

// Tells the record of a sample mark written to `work`.  Inline and without
// an integer division: there is a mark for every fourth bit.  The product
// with 1 / width is the row or one off it.
inline void note_debug_mark(page_state &page, size_t pixel, uint8_t value)
{
    const margin_line_record *record = page.margin_lines;
    if (!record || value == 0)
        return;
    uint64_t y = (uint64_t)((double)pixel * record->inverse_width);
    if (y * page.width > pixel)
        y--;
    else if ((y + 1) * page.width <= pixel)
        y++;
    const uint64_t x = pixel - y * page.width;
    if (x < page.page_left || x >= page.page_right || y < page.page_top || y >= page.page_bottom)
        margin_pixel_painted(page, x, y);
}

#endif
