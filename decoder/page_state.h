// page_state.h - the decoder's map: the per-page record every stage of
// unpaprel reads and writes, the run-wide settings, and one prototype per
// stage in the order the driver calls them.
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
// Buffers: load_png allocates `image` and `work`; estimate_geometry allocates
// `search_area`; the driver frees all three at the end of the page.
#ifndef DECODER_PAGE_STATE_H
#define DECODER_PAGE_STATE_H

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

struct page_state {
    FILE *scan_file;            // opened by the driver, closed by load_png
    uint32_t width, height;     // of image and work, input pixels
    uint8_t *image;             // the scan, 8-bit grey, 0 black, row-major
    uint8_t *work;              // fill marks, then conditioned copy and debug marks
    uint64_t histogram[256];
    uint8_t average;
    uint8_t cutlevel;           // black/white decision for corners and crosses
    uint8_t fill_cutlevel;      // what counts as white paper for remove_dirt
    page_corners corners;
    uint64_t page_left, page_top, page_right, page_bottom;
    double bit_width, bit_height;       // input pixels per page pixel
    point_f64 horizontal_vector;        // unit vector of the page's x axis
    point_f64 vertical_vector;          // unit vector of the page's y axis
    int32_t chalf;                      // half the correlation window
    int32_t quadrant_half;              // half the scored cross pattern
    float *search_area;                 // (4 chalf + 1)^2 floats
    point_f64 cross_grid[cross_cols][cross_rows];
    float cross_cutlevels[cross_cols][cross_rows];
};

// Settings fixed at start-up from the command line.
struct decoder_settings {
    uint32_t text_height;       // eighth field of the format string
    int64_t page_height;        // 2218 + text_height, summed in 32 bits
    char *output_base;          // current page file name, then its debug name
    uint32_t page_number;       // page being decoded, from 1
    uint32_t page_limit;        // the last page number a run may decode
};
extern decoder_settings settings;

// Corner names in the order find_corners searches them.
enum corner_id { corner_found = -1, upper_left_corner = 0, upper_right_corner,
                 lower_left_corner, lower_right_corner };

// Stages, in the order the driver runs them on each page.
// -- input, levels, dirt, corners and geometry --

// The whole run of unpaprel: command line, capacity report, page loop.
// Returns only the exit status of a normal end; fatal errors exit directly.
int unpaprel_main(int argc, char **argv);

// The value of a double converted to a 64-bit integer as x86-64 converts it:
// toward zero, and INT64_MIN for NaN and for values outside the range.  The
// low byte of that is what a level becomes when it is kept in 8 bits.
int64_t double_to_int64(double value);

// Reads page.scan_file (named by settings.output_base) into a new 8-bit grey
// `image`, allocates `work` of the same size and closes the file.  A file
// libpng cannot read ends the run with one line naming it.
void load_png(page_state &page);
// load_png without the ending: a file libpng cannot read is closed, nothing
// stays allocated, and the reason (valid until the next call) is returned.
bool try_load_png(page_state &page, const char **reason);
// The 256 display-gamma entries that dump_debug_image maps `work` through.
void fill_gamma_table(uint8_t *table);
// Maps `work` through the gamma table in place and writes it as a PGM file.
void dump_debug_image(page_state &page, const char *name);

void find_levels(page_state &page);
void remove_dirt(page_state &page);

// Prints the line of the first corner it cannot find and returns that
// corner; corner_found when all four are there.
corner_id find_corners(page_state &page);
void estimate_geometry(page_state &page);
double axis_angle(point_f64 u);

// -- crosses, conditioning, bit sampling, error correction, payload --

// Precondition check of the table lookups.  Unlike assert it stays in every
// build, and its report names the source as "unpaprel" with the line, the
// function and the expression, as the standard assertion report lays it out.
[[noreturn]] void assertion_failed(const char *expression, unsigned line, const char *function);
#define unpaprel_assert(expression) \
    ((expression) ? (void)0 : assertion_failed(#expression, __LINE__, __func__))

// Cross search (find_crosses.cpp).  Positions handed to bilinear_sample put
// the value of pixel (i, j) at the point (i, j); pixels outside read as 255.
void find_crosses(page_state &page);
float bilinear_sample(const page_state &page, double x, double y);
float getsearch(const page_state &page, int32_t xpos, int32_t ypos);
float cross_correl_search(const page_state &page, int32_t xpos, int32_t ypos);
float quadrant_score(const page_state &page, double x, double y);
float measure_cutlevel(const page_state &page, point_f64 centre);
void fill_search_area(page_state &page, point_f64 prediction);
point_f64 whole_pixel_search(const page_state &page, point_f64 prediction);
point_f64 quarter_pixel_refine(const page_state &page, point_f64 p0);
void print_cross_cutlevel(float cutlevel);
void mark_point(page_state &page, double x, double y);
void mark_geometry(page_state &page);

// Image conditioning (condition_image.cpp): image is conditioned in place
// and a copy left in work.
void condition_image(page_state &page);
void max_cycle(page_state &page);
void min_cycle(page_state &page);
void blur_cycle(page_state &page);

// Bit sampling (sample_bit.cpp).  A channel bit's cell is the square of four
// crosses around it; its fractions say where in the cell the bit lies.
struct bit_cell {
    int32_t cx, cy;     // top-left cross of the cell
    double fx, fy;      // position in the cell, in cross pitches
};
bit_cell locate_bit_cell(int32_t x, int32_t y);
point_f64 bit_sampling_position(const page_state &page, const bit_cell &cell);
int sample_bit(page_state &page, uint32_t position);
void read_page_bits(page_state &page);

// Error correction and damage report (error_correction.cpp).
struct damage_stats {
    uint64_t black_dirt;        // corrected bits received as 1 for a 0
    uint64_t white_dirt;        // corrected bits received as 0 for a 1
    uint64_t bad_bits;          // corrected bits plus 4 per irreparable word
    uint64_t irreparable;       // 4 per irreparable codeword
    uint64_t golay_stats[5];    // words with 0..3 corrected bits; [4] irreparable
};
extern damage_stats page_damage;
enum damage_kind { white_dirt_kind = 0, black_dirt_kind = 1, irreparable_kind = 2 };
extern uint64_t received_word;      // first bit of the codeword ends in bit 23
extern uint32_t received_count;     // bits in received_word, 0..24
void clear_damage_stats();
void receive_bit(page_state &page, int bit, uint32_t k);
uint32_t decode_codeword(page_state &page, uint64_t w, uint32_t k);
void print_badbit(page_state &page, int32_t codeword, int32_t bit, int32_t kind);
// print_badbit and decode_codeword gather the page's damage list; this
// writes out what is gathered.  read_page_bits, report_page_damage and the
// assertion report call it, so the list keeps its place among the messages.
void flush_damage_list();
void report_page_damage();

// Payload output (payload_output.cpp): the only writer of standard output.
extern int32_t output_byte;         // bits of the next byte below a sentinel 1
void emit_data_bits(uint32_t data);
void check_output();                // ends the run if standard output failed

#endif
