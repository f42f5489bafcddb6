// page_state.h - the decoder's map: the record of one page and the record of
// the run that the stages of unpaprel read and write, and one prototype per
// stage in the order decode_page calls them.
//
// Image coordinates are continuous: input pixel (i, j) covers the unit square
// from (i, j) to (i + 1, j + 1), x to the right, y downward.  Corners are pixel
// corner points and so whole numbers.  bilinear_sample alone puts the value of
// pixel (i, j) at the point (i, j); callers that hold square coordinates shift
// by half a pixel themselves.
//
//   (0,0) +------+------+--> x
//         | px   | px   |
//         | 0,0  | 1,0  |
//         +------+------+
//         |
//         v y
//
// Data flow of one page (decode_page):
//
//   scan_file -> load_png -> image, work
//   image -> find_levels -> cutlevel, fill_cutlevel
//   image -> remove_dirt -> image (margin specks painted white; work scratch)
//   image -> find_corners, estimate_geometry -> corners, bit sizes, axes, search_area
//            (between the two, turn_page_upright turns a turned scan the right way up)
//   image -> find_crosses -> cross_grid, cross_cutlevels
//   image -> condition_image -> image, copy in work (the debug canvas)
//   image -> read_label -> label
//   work  <- mark_geometry, read_page_bits (samples, damage marks)
//   read_page_bits -> receive_bit -> decode_codeword -> emit_data_bits -> stdout
//
// Buffers: load_png allocates `image` and `work`; estimate_geometry allocates
// `search_area`; release_page frees all three, after the page or its failure.
//
// Failures: a stage that can fail returns a page_status and leaves what its
// message needs in page.failure.  Stages print their measurements as they
// go, but only the driver prints a failure and chooses the exit status.
#ifndef DECODER_PAGE_STATE_H
#define DECODER_PAGE_STATE_H

#include "label_art.h"
#include "page_format.h"

#include <cstdint>
#include <cstdio>

struct point_u64 {
    uint64_t x, y;
};

struct point_f64 {
    double x, y;
};

struct page_corners {
    point_u64 upper_left, upper_right, lower_left, lower_right;
};

// Corner names in the order find_corners searches them.
enum corner_id {
    corner_found = -1,
    upper_left_corner = 0,
    upper_right_corner,
    lower_left_corner,
    lower_right_corner
};

// How a page's decode ended; every value but page_decoded stops the page.
enum page_status {
    page_decoded = 0,
    scan_unreadable, // libpng refused the file: failure.reason
    scan_too_large,  // more pixels than max_pixels: failure.bytes, a byte a pixel
    frames_not_allocated,
    row_table_not_allocated, // failure.bytes
    fill_stack_not_allocated,
    corner_not_found,          // failure.corner; the failure image is wanted
    crosses_not_found,         // page.crosses_seen: a blank sheet, or not a page
    search_area_not_allocated, // failure.bytes
    gamma_table_not_allocated,
    output_not_written,      // failure.error
    debug_image_not_opened,  // a warning only: failure.error
    debug_image_not_written, // a warning only: failure.error
};

// What the message of a failure names, set by the stage that failed.
struct page_failure {
    corner_id corner;
    uint64_t bytes;
    const char *reason; // valid until the next scan is read
    int error;          // errno of a failed system call
};

// The page's label as read_label read it.  `read` only when the emblem and
// every text cell matched their pictures beyond doubt; otherwise the text is
// empty and nothing is parsed.  The text drops the two blank cells the label
// starts with and the blank cells after its end (so a name's own trailing
// spaces too).  `parsed` when it has the form "<format> <page>/<count>" with
// " <name>" after it or nothing (an empty name).  The last three are the
// measurement behind `read`: the emblem's pixels that differ from its
// picture, the most pixels a cell differs in from its nearest picture, and
// the least lead of a nearest picture over the second nearest.
constexpr uint32_t label_cells = (data_width - emblem_width) / glyph_width;
struct page_label {
    bool read;
    char text[label_cells + 1];
    bool parsed;
    char format[label_cells + 1];
    uint32_t page_number, page_count;
    char name[label_cells + 1];
    uint32_t emblem_distance, worst_distance, smallest_gap;
};

// The most pixels a scan may have unless the command line says otherwise:
// an A3 sheet at 1200 dpi (about 14030 x 19840) with a little room.  Each
// pixel takes two bytes of frames, so the default bounds a page near 560 MB.
constexpr uint64_t default_max_pixels = 280000000;

// Which margin lines the debug image holds whole while read_page_bits draws
// them (error_correction.cpp): a flag for each, and 1 / width for finding
// the row of a sample mark without an integer division.
struct margin_line_record {
    double inverse_width;
    uint8_t *whole;
};

struct page_state {
    FILE *scan_file;                     // opened by the caller, closed by load_png
    int64_t page_height = ::page_height; // of the format, in page pixels
    bool close_frame_gaps = false;       // decode_page sets it; tests see the plain fills
    uint32_t width, height;              // of image and work, input pixels
    uint8_t *image;                      // the scan, 8-bit grey, 0 black, row-major
    uint8_t *work;                       // fill marks, then conditioned copy and debug marks
    uint64_t histogram[256];
    uint8_t average;
    uint8_t cutlevel;      // black/white decision for corners and crosses
    uint8_t fill_cutlevel; // what counts as white paper for remove_dirt
    page_corners corners;
    uint64_t page_left, page_top, page_right, page_bottom;
    double bit_width, bit_height; // input pixels per page pixel
    point_f64 horizontal_vector;  // unit vector of the page's x axis
    point_f64 vertical_vector;    // unit vector of the page's y axis
    int32_t chalf;                // half the correlation window
    int32_t quadrant_half;        // half the scored cross pattern
    float *search_area;           // (4 chalf + 1)^2 floats
    point_f64 cross_grid[cross_cols][cross_rows];
    float cross_cutlevels[cross_cols][cross_rows];
    uint32_t crosses_seen; // crosses that stand out from the paper
    page_label label;
    page_failure failure;
    // decoder_run's, for load_png
    uint64_t max_pixels = default_max_pixels;
    margin_line_record *margin_lines = nullptr; // while read_page_bits runs
};

// Counters of one page's damage, printed by report_page_damage.
struct damage_stats {
    uint64_t black_dirt;     // corrected bits received as 1 for a 0
    uint64_t white_dirt;     // corrected bits received as 0 for a 1
    uint64_t bad_bits;       // corrected bits plus 4 per irreparable word
    uint64_t irreparable;    // 4 per irreparable codeword
    uint64_t golay_stats[5]; // words with 0..3 corrected bits; [4] irreparable
};

// What the soft decision (--soft) did on the current page, beyond the
// counters of damage_stats.
struct soft_counts {
    uint64_t rescued;   // codewords the hard decision finds irreparable
    uint64_t overruled; // codewords it corrects to another codeword
    uint64_t beyond;    // corrected in 4 or more bits (not in golay_stats)
    uint64_t doubtful;  // too close to call: irreparable (in golay_stats[4])
};

// Everything that lives longer than a page: the settings from the command
// line, the page sequence, and the state of the bit loop, which carries
// bits from one codeword (and bytes from one page) to the next.
struct decoder_run {
    uint32_t text_height = ::text_height; // eighth field of the format string
    int64_t page_height = ::page_height;  // 2218 + text_height, summed in 32 bits
    uint32_t page_limit = 9999;           // the last page number a run may decode
    uint32_t codeword_step = 1;           // reads codewords 0, step, 2 step, ...
    bool keep_going = false;              // a lost page is written as zeros and the run goes on
    bool show_labels = false;             // print each page's label as read
    bool no_debug_images = false;         // no <scan>_debug.pgm (--no-debug)
    bool summary = false;                 // the closing summary line even off a terminal
    bool soft = false;                    // --soft: weigh the margins, most likely codeword
    char *scan_name = nullptr;            // current scan name, then its debug name
    uint32_t page_number = 0;             // page being decoded, from 1
    uint64_t received_word = 0;           // first bit of the codeword ends in bit 23
    uint32_t received_count = 0;          // bits in received_word, 0..24
    damage_stats damage{};                // of the current page
    bool damage_header_written = false;   // the damage list of this page has begun
    soft_counts soft_damage{};            // of the current page, under --soft
    int32_t output_byte = 1;              // bits of the next byte below a sentinel 1
    uint64_t irreparable_codewords = 0;   // of all pages so far
    uint64_t corrected_bits = 0;          // of all pages so far
    uint32_t pages_decoded = 0;           // pages whose payload was written
    uint32_t pages_lost = 0;              // pages written as zeros (--keep-going)
    bool scan_opened = false;             // a scan was opened: the summary has a subject
    uint64_t bytes_emitted = 0;           // payload bytes handed to standard output
    uint64_t bytes_written = 0;           // of those, the ones check_output saw flushed
    int output_error = 0;                 // errno of a failed payload write
    // larger scans are refused before they are loaded (--max-pixels)
    uint64_t max_pixels = default_max_pixels;
};

// -- the run and one page (driver.cpp, decode_page.cpp) --

// The whole run of unpaprel: command line, capacity report, page loop, and
// every failure message.  Returns the exit status.
int unpaprel_main(decoder_run &run, int argc, char **argv);

// Stages of decode_page, for the processor time of each (bench/stage_profile).
enum stage_id {
    load_png_stage,
    find_levels_stage,
    remove_dirt_stage,
    geometry_stage,
    find_crosses_stage,
    condition_image_stage,
    read_label_stage,
    mark_geometry_stage,
    read_bits_stage,
    report_damage_stage,
    stage_count
};
extern const char *const stage_names[stage_count];
struct stage_times {
    double milliseconds[stage_count];
};

// Runs every stage on page.scan_file, from the PNG to the payload on
// standard output and the page's damage report, and returns how it ended.
// `times`, when not null, gets the processor time of each stage.  The
// buffers stay allocated (the failure image needs them): release_page.
page_status decode_page(decoder_run &run, page_state &page, stage_times *times);
void release_page(page_state &page);
// The same stages up to the sampling of the bits, whose margins go into
// margins[24 k + n] (bit n of codeword k) for the soft decision; nothing is
// corrected or written.  The buffers stay allocated, as with decode_page.
page_status sample_page(decoder_run &run, page_state &page, float *margins);
// The page's damage report, why a page lost codewords, and the check that
// its payload was written; false when it was not.
bool report_page(decoder_run &run, const page_state &page);

// -- the stages, in the order decode_page runs them --

// Reads page.scan_file into a new 8-bit grey `image`, allocates `work` of
// the same size and closes the file.  A file libpng cannot read, or one of
// more than page.max_pixels, is closed and nothing stays allocated.
page_status load_png(page_state &page);
void find_levels(page_state &page);
page_status remove_dirt(page_state &page);
// The first corner it cannot find; corner_found when all four are there.
corner_id find_corners(page_state &page);
const char *corner_name(corner_id corner);
// find_corners without its line, for a scan searched again.
corner_id search_corners(page_state &page);
// A scan that lies turned by a quarter or half turn is turned the right way
// up, with one line saying so, and its corners found again (orientation.cpp,
// with `work` as scratch); upright ones are left alone.  The corner it
// cannot find after the turn, or corner_found.
corner_id turn_page_upright(page_state &page);
page_status estimate_geometry(page_state &page);
// crosses_not_found when hardly any cross stands out from the paper.
page_status find_crosses(page_state &page);
void condition_image(page_state &page);
void read_label(page_state &page);
void mark_geometry(page_state &page);
void clear_damage_stats(decoder_run &run);
void read_page_bits(decoder_run &run, page_state &page);
void report_page_damage(decoder_run &run);

// -- the soft decision instead of read_page_bits (--soft) --

// read_page_bits's sampling and marks, keeping each bit's margin (cutlevel
// less sample) in margins[24 k + n] instead of deciding it; with a
// codeword_step above 1 (the fuzz targets' quick way) only every step-th
// codeword is sampled and the others are margins of 0.
void read_page_margins(page_state &page, float *margins, uint32_t codeword_step);
// How the margins of a page are weighed: each multiplied by `inverse` and
// capped at `cap` either way; `typical` is then their median size.  One
// scan's own margins are divided by their median and capped at it (at
// `cap` times it), so that no bit outweighs a typical one (a speck of dust
// reads as surely as the print); several scans are each brought to that
// scale in place and summed into margins[0], which is then taken as it is,
// its typical size measured.  Returns how margins[0] is to be weighed.
struct margin_scale {
    float inverse, cap, typical;
};
constexpr float soft_margin_cap = 1.0f;
margin_scale combine_scans(float *const *margins, uint32_t count, float cap = soft_margin_cap);
// A soft decision is doubtful, and its codeword irreparable, when the
// runner-up is less than this many times (natural logarithm) less likely.
constexpr float soft_doubt_llr = 6.0f;
// Corrects every codeword from the summed margins and hands its data on;
// the damage is listed in the first scan's pixels and marked in every
// scan's `work`.  scans[0 .. scan_count - 1] are the page's scans.
void correct_page_softly(decoder_run &run, page_state *const *scans, uint32_t scan_count,
                         const float *margins, const margin_scale &scale);
// After a page with irreparable codewords, a line for each cause the
// geometry shows: bits too small, a frame that runs off the image.
void explain_damage(const page_state &page);
// False when standard output failed (a full disk, a closed pipe):
// run.output_error holds the reason.
bool check_output(decoder_run &run);
// A page the run could not read, as payload_bytes_per_page zero bytes.
void emit_lost_page(decoder_run &run);

// The text of the label line `Label: ...` for the driver: the label read,
// in double quotes (a quote or backslash in it escaped by a backslash), or
// "unreadable".  At most label_line_size bytes with the terminating zero.
constexpr size_t label_line_size = 2 * label_cells + 3;
void label_line_text(const page_label &label, char (&line)[label_line_size]);

// -- after the page: the debug images (png_io.cpp) --

// Maps `work` through the display gamma table in place and writes it as a
// PGM file, never through a symbolic link: gamma_table_not_allocated,
// debug_image_not_opened or debug_image_not_written (warnings) or
// page_decoded.
page_status dump_debug_image(page_state &page, const char *name);
// The scan as loaded, after dirt removal, through dump_debug_image: what
// the corner search saw.
page_status dump_failure_image(page_state &page, const char *name);

// -- shared between stages --

// The value of a double converted to a 64-bit integer as x86-64 converts it:
// toward zero, and INT64_MIN for NaN and for values outside the range.  The
// low byte of that is what a level becomes when it is kept in 8 bits.
int64_t double_to_int64(double value);

// Precondition check of the table lookups.  Unlike assert it stays in every
// build, and its report names the source as "unpaprel" with the line, the
// function and the expression, as the standard assertion report lays it out.
// The expression's words are given as a string rather than taken from the
// code, so that reformatting the code cannot change what the report says.
[[noreturn]] void assertion_failed(const char *expression, unsigned line, const char *function);
#define unpaprel_assert(expression, text) \
    ((expression) ? (void)0 : assertion_failed(text, __LINE__, __func__))

// A channel bit's cell is the square of four crosses around it; its
// fractions say where in the cell the bit lies (sample_bit.cpp).
struct bit_cell {
    int32_t cx, cy; // top-left cross of the cell
    double fx, fy;  // position in the cell, in cross pitches
};
bit_cell locate_bit_cell(int32_t x, int32_t y);
// The bit's centre in bilinear_sample's coordinates.
point_f64 bit_sampling_position(const page_state &page, const bit_cell &cell);

// The error correction (error_correction.cpp) takes bits from the sampling
// and hands data words to the payload output (payload_output.cpp).
void receive_bit(decoder_run &run, page_state &page, int bit, uint32_t k);
void emit_data_bits(decoder_run &run, uint32_t data);
// Writes out the damage list gathered so far, so that it keeps its place
// among the other messages on standard error.
void flush_damage_list();

#endif
