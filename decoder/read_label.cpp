// read_label.cpp - the page's own label, read back exactly or not at all.
//
// Runs after condition_image, on the conditioned `image`, and before
// mark_geometry draws into `work`.  Reads `cross_grid`, `cross_cutlevels`,
// `bit_width`, `bit_height` and the page axes; writes `page.label` and
// nothing else; prints nothing.
//
// Where: the label strip lies under the last row of crosses, outside the
// grid the bits are interpolated in, so its pixels are extrapolated from the
// grid's last rows.  Across, a label column lies between the two crosses of
// the last row around it, at the fraction the bits of that column use; down,
// it follows the grid's own step between the last cross row and the row
// four above it.  The crosses are found to a quarter of an input pixel;
// measured over four pitches, the step adds at most 0.07 input pixels of
// their error at the strip's last row, where neighbouring rows would add
// 0.28.  Being local, it follows a keystone or a stretched sheet that the
// page axes, an average over the whole page, would not.
//
// Black or white: every pixel is sampled sharpened, as a bit is, less the
// cutlevel interpolated between the same two crosses, which carries the
// crosses' measure of the light along the strip.  The bits' own decision,
// darker than that cutlevel, reads the strip badly: the cutlevel lies 6 % of
// the way from black to white, which suits a bit among random neighbours
// that push its sharpened sample away from it, but the strip is solid black
// just below it, and the noise of a default scan lifts 451 of the emblem's
// 6360 pixels over it and up to 42 of a cell's 312.  So the strip takes its
// level from its emblem, whose picture is known: halfway between the mean
// of the emblem's solid white pixels and that of its solid black ones
// (those whose four neighbours share their colour, whose samples sharpening
// leaves as they are).  Every other white pixel is raised above solid white
// by the sharpening and every other black one lowered below solid black, so
// the level lies as far as it can from both.  On paperscan's default scan
// the whitest black pixel of the strip then lies 0.40 and the blackest white
// one 0.15 of the distance between the two means from the level; at the
// limits where the bits still decode (blur 0.5, noise 0.08, also with uneven
// light) up to 16 of the strip's 37000 pixels cross it, never more than 2 in
// a cell.
//
// What: the emblem and every 13 x 24 text cell are compared pixel by pixel
// with the pictures the encoder draws them from (label_art.h); the distance
// is the number of pixels that differ.  A label is read only when the
// emblem differs in at most max_emblem_distance pixels, the two blank cells
// the text starts with are blank, and every cell is within
// max_cell_distance of its nearest picture and at least min_cell_gap nearer
// to it than to the second nearest.  The numbers are explained where they
// are defined.
//
// What it cannot see: a blot that blackens whole characters and only the
// blank pixels around them leaves a picture of blank cells, which reads as
// blanks.  The strip is black already, so nothing on the scan tells such a
// blot from the print; a blot that cuts a character's strokes, as nearly
// every blot does, makes the label unreadable.
#include "bit_sampling.h"
#include "stage_internals.h"

#include <cstring>

namespace {

static_assert(label_art_height == text_height, "a picture is as tall as the strip");

constexpr int32_t last_row = (int32_t)cross_rows - 1;
// The rows the step down the page is measured between.
constexpr int32_t slope_rows = 4;
constexpr uint32_t text_start = emblem_width; // label x of the first text cell
// The few columns after the last whole cell stay black and unread.
constexpr uint32_t text_end = text_start + label_cells * glyph_width;
constexpr uint32_t strip_words = (text_end + 63) / 64;
// The label text begins with two blank cells ("  0-65-...").
constexpr uint32_t leading_blanks = 2;

// The emblem tells a label of paprel's from anything else, and a label read
// in the right place from one read a pixel off: a blank strip differs from
// it in its 426 white pixels, the emblem one pixel off in 348 to 388.  The
// worst measured on scans that decode is 4 (20 dust specks per square inch,
// a hundred times paperscan's default), so 32 leaves room for dirt and is
// far from either.
constexpr uint32_t max_emblem_distance = 32;

// The two nearest pictures of the font (',' and '.', ':' and ';') differ in
// 5 pixels, 'I' and 'l' in 6.  A cell taken for the wrong character with a
// distance d to it and a gap of at least min_cell_gap has at least
// max(d + min_cell_gap, 5 - d) pixels wrong, which with a gap of 4 is 5 for
// every d: nothing short of the whole difference between the two nearest
// pictures fools the rule, and no rule could do better.  The distance bound
// keeps what is no picture of the font at all (a blot, another font, noise)
// from being taken for the picture it happens to resemble most.  On scans
// that decode, the worst cells differ from their picture in 2 pixels (noise
// 0.08 with uneven light; dust), so a bound of 2 takes every one of them.
constexpr uint32_t max_cell_distance = 2;
constexpr uint32_t min_cell_gap = 4;

// One column of the label strip: where its pixels lie and the cutlevel
// between its crosses.
struct label_column {
    point_f64 first; // centre of label row 0, as bilinear_sample takes it
    point_f64 down;  // one page pixel down the column
    float cutlevel;
};

// The point of the cross row `row` at fraction fx from cross cx to cx + 1.
point_f64 along_row(const page_state &page, int32_t row, int32_t cx, double fx)
{
    const point_f64 a = page.cross_grid[cx][row], b = page.cross_grid[cx + 1][row];
    return {b.x * fx + a.x * (1 - fx), b.y * fx + a.y * (1 - fx)};
}

label_column column_at(const page_state &page, uint32_t x)
{
    const int32_t cx = cell_column((int32_t)x);
    const double fx = cell_fractions[(int32_t)x - pitch * cx - centre_offset - first_offset];
    const point_f64 last = along_row(page, last_row, cx, fx);
    const point_f64 upper = along_row(page, last_row - slope_rows, cx, fx);
    const double span = slope_rows * pitch;
    label_column c;
    c.down = {(last.x - upper.x) / span, (last.y - upper.y) / span};
    // Page pixels from the centres of the last crosses to the centre of the
    // label's first row (3.5).
    const double below = (double)data_height - (double)(last_row * pitch + centre_offset) + 0.5;
    c.first = {last.x + c.down.x * below - 0.5, last.y + c.down.y * below - 0.5};
    const float f = (float)fx;
    c.cutlevel =
        page.cross_cutlevels[cx + 1][last_row] * f + page.cross_cutlevels[cx][last_row] * (1 - f);
    return c;
}

// Sharpened samples of label column x less its cutlevel, from row 0 down.
void sample_column(const page_state &page, const bit_sampler &sampler, uint32_t x,
                   float (&out)[text_height])
{
    const label_column c = column_at(page, x);
    for (uint32_t r = 0; r < text_height; r++) {
        const point_f64 p = {c.first.x + c.down.x * r, c.first.y + c.down.y * r};
        out[r] = sharpened_sample(sampler, p) - c.cutlevel;
    }
}

bool art_white(uint32_t art_x, uint32_t r)
{
    return label_art[r * label_art_width + art_x] != 0;
}

// 1 when emblem pixel (x, r) and its four neighbours are all white, -1
// when they are all black, 0 otherwise and along the emblem's edge (whose
// neighbours are not the emblem's).
int solid_emblem_pixel(uint32_t x, uint32_t r)
{
    if (x == 0 || r == 0 || x + 1 == emblem_width || r + 1 == text_height)
        return 0;
    const uint32_t ax = emblem_x + x;
    const bool w = art_white(ax, r);
    if (art_white(ax - 1, r) != w || art_white(ax + 1, r) != w || art_white(ax, r - 1) != w ||
        art_white(ax, r + 1) != w)
        return 0;
    return w ? 1 : -1;
}

// The strip as read: bit x % 64 of rows[r][x / 64] is set when label pixel
// (x, r) reads white.
struct label_strip {
    uint64_t rows[text_height][strip_words];
};

void set_white(label_strip &strip, uint32_t x, uint32_t r)
{
    strip.rows[r][x / 64] |= (uint64_t)1 << (x % 64);
}

bool strip_white(const label_strip &strip, uint32_t x, uint32_t r)
{
    return (strip.rows[r][x / 64] >> (x % 64) & 1) != 0;
}

// The emblem's samples, column by column (25 KB).
struct emblem_samples {
    float v[emblem_width][text_height];
};

// Halfway between the means of the emblem's solid white and solid black
// samples; sums in double, in the order of the columns.
float emblem_level(const emblem_samples &e)
{
    double white = 0, black = 0;
    uint32_t whites = 0, blacks = 0;
    for (uint32_t x = 0; x < emblem_width; x++)
        for (uint32_t r = 0; r < text_height; r++) {
            const int solid = solid_emblem_pixel(x, r);
            if (solid > 0) {
                white += e.v[x][r];
                whites++;
            } else if (solid < 0) {
                black += e.v[x][r];
                blacks++;
            }
        }
    return (float)((white / whites + black / blacks) * 0.5);
}

void read_column(const float (&v)[text_height], float level, uint32_t x, label_strip &strip)
{
    for (uint32_t r = 0; r < text_height; r++)
        if (v[r] > level)
            set_white(strip, x, r);
}

void sample_strip(const page_state &page, label_strip &strip)
{
    memset(&strip, 0, sizeof strip);
    const bit_sampler sampler = sampler_of(page);
    emblem_samples e;
    for (uint32_t x = 0; x < emblem_width; x++)
        sample_column(page, sampler, x, e.v[x]);
    const float level = emblem_level(e);
    for (uint32_t x = 0; x < emblem_width; x++)
        read_column(e.v[x], level, x, strip);
    for (uint32_t x = emblem_width; x < text_end; x++) {
        float v[text_height];
        sample_column(page, sampler, x, v);
        read_column(v, level, x, strip);
    }
}

uint32_t emblem_distance(const label_strip &strip)
{
    uint32_t distance = 0;
    for (uint32_t r = 0; r < text_height; r++)
        for (uint32_t x = 0; x < emblem_width; x++)
            distance += strip_white(strip, x, r) != art_white(emblem_x + x, r);
    return distance;
}

// Text cell k of the strip.
label_cell cell_of_strip(const label_strip &strip, uint32_t k)
{
    const uint32_t left = text_start + k * glyph_width;
    label_cell cell{};
    for (uint32_t r = 0; r < text_height; r++)
        for (uint32_t c = 0; c < glyph_width; c++)
            if (strip_white(strip, left + c, r))
                set_cell_white(cell, c, r);
    return cell;
}

// The number of set bits of v.
uint32_t ones(uint64_t v)
{
    v = v - ((v >> 1) & 0x5555555555555555u);
    v = (v & 0x3333333333333333u) + ((v >> 2) & 0x3333333333333333u);
    v = (v + (v >> 4)) & 0x0F0F0F0F0F0F0F0Fu;
    return (uint32_t)((v * 0x0101010101010101u) >> 56);
}

bool cell_clear(const label_cell_match &m)
{
    return m.distance <= max_cell_distance && m.gap >= min_cell_gap;
}

// Matches every cell into `text` (label_cells characters and a zero) and
// records the worst distance and gap; true when every cell is clear.
bool read_cells(const label_strip &strip, page_label &label, char *text)
{
    label_glyph_cells glyphs;
    pack_glyphs(glyphs);
    bool clear = true;
    label.smallest_gap = UINT32_MAX;
    for (uint32_t k = 0; k < label_cells; k++) {
        const label_cell_match m = match_label_cell(glyphs, cell_of_strip(strip, k));
        text[k] = m.character;
        clear = clear && cell_clear(m);
        if (m.distance > label.worst_distance)
            label.worst_distance = m.distance;
        if (m.gap < label.smallest_gap)
            label.smallest_gap = m.gap;
    }
    text[label_cells] = '\0';
    return clear;
}

// Digits only, at least one, and a value that fits 32 bits; `end` is the
// first character after them.
bool parse_number(const char *text, uint32_t &value, const char *&end)
{
    uint64_t v = 0;
    const char *p = text;
    for (; *p >= '0' && *p <= '9'; p++) {
        v = v * 10 + (uint64_t)(*p - '0');
        if (v > UINT32_MAX)
            return false;
    }
    value = (uint32_t)v;
    end = p;
    return p != text;
}

} // namespace

void set_cell_white(label_cell &cell, uint32_t c, uint32_t r)
{
    cell.words[r / cell_rows_per_word] |= (uint64_t)1
                                          << (glyph_width * (r % cell_rows_per_word) + c);
}

void pack_glyphs(label_glyph_cells &glyphs)
{
    for (uint32_t g = 0; g < label_glyphs; g++) {
        glyphs.cells[g] = label_cell{};
        for (uint32_t r = 0; r < text_height; r++)
            for (uint32_t c = 0; c < glyph_width; c++)
                if (art_white(g * glyph_width + c, r))
                    set_cell_white(glyphs.cells[g], c, r);
    }
}

label_cell_match match_label_cell(const label_glyph_cells &glyphs, const label_cell &cell)
{
    label_cell_match m = {' ', UINT32_MAX, 0};
    uint32_t second = UINT32_MAX;
    for (uint32_t g = 0; g < label_glyphs; g++) {
        uint32_t d = 0;
        for (uint32_t w = 0; w < cell_words; w++)
            d += ones(cell.words[w] ^ glyphs.cells[g].words[w]);
        if (d < m.distance) {
            second = m.distance;
            m.distance = d;
            m.character = (char)(first_glyph + g);
        } else if (d < second) {
            second = d;
        }
    }
    m.gap = second - m.distance;
    return m;
}

bool parse_label_text(page_label &label)
{
    label.parsed = false;
    label.format[0] = label.name[0] = '\0';
    label.page_number = label.page_count = 0;
    const char *space = strchr(label.text, ' ');
    if (!space || space == label.text)
        return false;
    const char *end = nullptr;
    uint32_t number = 0, count = 0;
    if (!parse_number(space + 1, number, end) || *end != '/')
        return false;
    if (!parse_number(end + 1, count, end) || (*end != ' ' && *end != '\0'))
        return false;
    const size_t format_length = (size_t)(space - label.text);
    memcpy(label.format, label.text, format_length);
    label.format[format_length] = '\0';
    label.page_number = number;
    label.page_count = count;
    strcpy(label.name, *end == ' ' ? end + 1 : end);
    label.parsed = true;
    return true;
}

void read_label(page_state &page)
{
    page_label &label = page.label;
    memset(&label, 0, sizeof label);
    label_strip strip;
    sample_strip(page, strip);
    label.emblem_distance = emblem_distance(strip);
    char text[label_cells + 1];
    const bool cells_clear = read_cells(strip, label, text);
    label.read = cells_clear && label.emblem_distance <= max_emblem_distance &&
                 strncmp(text, "  ", leading_blanks) == 0;
    if (!label.read)
        return;
    uint32_t length = label_cells;
    while (length > leading_blanks && text[length - 1] == ' ')
        length--;
    text[length] = '\0';
    strcpy(label.text, text + leading_blanks);
    parse_label_text(label);
}

void label_line_text(const page_label &label, char (&line)[label_line_size])
{
    if (!label.read) {
        strcpy(line, "unreadable");
        return;
    }
    size_t n = 0;
    line[n++] = '"';
    for (const char *p = label.text; *p != '\0'; p++) {
        if (*p == '"' || *p == '\\')
            line[n++] = '\\';
        line[n++] = *p;
    }
    line[n++] = '"';
    line[n] = '\0';
}
