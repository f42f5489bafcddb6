// scan_options.h - every effect of the simulated print and scan, with its
// default, and the command line that sets them.
//
// Units: lengths on the page are page pixels (one channel bit); lengths on
// the glass (dust, hairs, scratches, offsets) are scan pixels; grey levels
// are reflectances in linear light, 0 black to 1 a perfect white.
#ifndef PAPERSCAN_SCAN_OPTIONS_H
#define PAPERSCAN_SCAN_OPTIONS_H

#include <cstdint>

enum png_kind { kind_grey8, kind_grey16, kind_rgb, kind_palette, kind_grey1 };

// A straight white line printed through the whole page (a printer streak, a
// fold): along a column or a row, crossing the page's middle at `position`
// (a share of the page's width for a column, of its height for a row),
// turned by `angle` degrees so that its bottom (column) or right (row) end
// moves right (column) or down (row), `width` page pixels wide.
struct streak_line {
    bool along_row;
    double position, angle, width;
};
constexpr uint32_t max_streaks = 8;

struct scan_options {
    double scale = 3.0;          // scan pixels per page pixel along the page's x axis
    double aspect = 1.0;         // y scale over x scale
    double perspective = 0.0;    // the top edge is wider than the bottom by about this share
    double rotate = 0.0;         // degrees, counter-clockwise as seen in the scan
    double dpi = 600.0;          // scanner resolution, for named sheets and dust density
    uint32_t sheet_width = 4961; // A4 at 600 dpi
    uint32_t sheet_height = 7016;
    bool named_sheet = true; // sheet size follows --dpi
    double sheet_mm_width = 210.0, sheet_mm_height = 297.0;
    double offset_x = 0.0; // page shift from the centred position, scan pixels
    double offset_y = 0.0;
    double blur = 0.3;          // sigma of the optical point spread, page pixels
    double dot_gain = 0.1;      // growth of a toner dot's width, page pixels
    double paper = 0.85;        // reflectance of the paper
    double toner = 0.04;        // reflectance of solid toner
    double illumination = 0.05; // light lost at the darkest place of the sheet
    double noise = 0.01;        // sensor noise, standard deviation in reflectance
    double dust = 0.2;          // specks per square inch of sheet
    double dust_size = 2.5;     // largest speck radius, scan pixels
    uint32_t hairs = 0;
    double hair_width = 1.5;    // scan pixels
    uint32_t scratches = 0;     // toner scraped off along a line across the page
    double scratch_width = 2.0; // scan pixels
    streak_line streaks[max_streaks] = {};
    uint32_t streak_count = 0; // --streak, given once per line
    png_kind kind = kind_grey8;
    bool write_gamma = false; // write a gAMA chunk
    double gamma = 0.454545;  // file gamma the samples are encoded with
    bool interlace = false;
    uint64_t seed = 1;
};

struct scan_command {
    scan_options options;
    const char *output_base;  // points into argv
    const char *const *pages; // points into argv
    int page_count;
};

// The usage text, printed when paperscan is run without arguments.
extern const char paperscan_usage[];

// Reads the command line (argv[0] is the program).  Prints one message to
// stderr and returns false for anything it cannot use.
bool parse_command_line(int argc, const char *const *argv, scan_command *command);

#endif
