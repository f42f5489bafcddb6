// page_template.cpp - the empty page: frame, registration crosses, label.
//
// format_page composes in the run's page_buffer everything of a page that
// is not payload: a white data area with the 65 x 93 crosses, the black
// frame, and the label strip under the data area; relabel_page turns a
// written page into the next by its label alone. The label is the emblem
// and one line of text - the format string, "page/count" and the name
// given on the command line - so that a person holding the printed page
// can read off what the decoder needs. Reads the run's page_number,
// page_count and label_name; writes its page_buffer and label_text.
// label_shown_name tells, without a page, what a label shows of a name.
#include "label_art.h"
#include "paprel.h"

#include <cstring>

namespace {

constexpr uint32_t label_left = border_width; // page x of label x 0
constexpr uint32_t label_width = data_width;  // label x 0 .. 1541
constexpr uint32_t text_start = emblem_width; // label x of the first text cell

static_assert(label_top == 2216, "the label strip follows the data area");
static_assert(label_art_height == text_height, "the label art fills the strip's rows");

void fill_rows(paprel_run &run, uint32_t first, uint32_t last, uint8_t value)
{
    memset(&run.page_buffer[first * page_width], value, (last - first + 1) * page_width);
}

// The 6 x 6 cross with its top-left pixel at page pixel (left, top): black
// where (u < 3) equals (v < 3), white in the other two quadrants.
void draw_cross(paprel_run &run, uint32_t left, uint32_t top)
{
    for (uint32_t v = 0; v < 2 * chalf; v++)
        for (uint32_t u = 0; u < 2 * chalf; u++)
            run.page_buffer[(top + v) * page_width + left + u] =
                (u < chalf) == (v < chalf) ? 0 : 255;
}

// Colour of a label_art pixel: only the palette's red byte decides.
uint8_t art_colour(uint32_t art_x, uint32_t row)
{
    uint8_t index = label_art[row * label_art_width + art_x];
    return label_palette[index].red >= 128 ? 255 : 0;
}

// Copies `width` columns of label_art from art_x to label x `x`.
void copy_art(paprel_run &run, uint32_t art_x, uint32_t x, uint32_t width)
{
    for (uint32_t r = 0; r < text_height; r++)
        for (uint32_t c = 0; c < width; c++)
            run.page_buffer[(label_top + r) * page_width + label_left + x + c] =
                art_colour(art_x + c, r);
}

void compose_empty_page(paprel_run &run)
{
    memset(run.page_buffer, 255, sizeof run.page_buffer);
    fill_rows(run, 0, border_width - 1, 0);
    for (uint32_t y = border_width; y < label_top; y++) {
        uint8_t *row = &run.page_buffer[y * page_width];
        row[0] = row[1] = 0;
        row[page_width - 2] = row[page_width - 1] = 0;
    }
    fill_rows(run, label_top, page_height - 1, 0);
    for (uint32_t j = 0; j < cross_rows; j++)
        for (uint32_t i = 0; i < cross_cols; i++)
            draw_cross(run, border_width + cross_pitch * i, border_width + cross_pitch * j);
}

// The label line of page `page_number` of `page_count`; bounded by the
// buffer, so a long name is cut to its first 117 characters, though fewer
// than that fit the strip anyway.
void format_label_text(char (&text)[label_text_size], uint32_t page_number, uint32_t page_count,
                       const char *name)
{
    snprintf(text, sizeof text, "  0-%u-%u-%u-%u-%u-%u-%u %u/%u %s", cross_cols, cross_rows,
             cross_pitch, chalf, 1u, border_width, text_height, page_number, page_count, name);
}

// Control characters and every byte of 128..255 (negative as a signed
// byte) are dropped without leaving a gap.
bool has_cell(char c)
{
    return (int8_t)c >= 32;
}

// Whether the cell that starts at label x `x` lies whole inside the strip.
bool fits_strip(uint32_t x)
{
    return x + glyph_width <= label_width;
}

// The emblem and the label line, into a strip that is black.
void draw_label(paprel_run &run)
{
    format_label_text(run.label_text, run.page_number, run.page_count, run.label_name);
    copy_art(run, emblem_x, 0, emblem_width);
    uint32_t x = text_start;
    for (const char *p = run.label_text; *p != '\0'; p++) {
        if (!has_cell(*p))
            continue;
        if (fits_strip(x))
            copy_art(run, (uint32_t)((int8_t)*p - 32) * glyph_width, x, glyph_width);
        x += glyph_width;
    }
}

} // namespace

void format_page(paprel_run &run)
{
    compose_empty_page(run);
    draw_label(run);
}

// Frame and crosses are the same on every page, and render_page draws
// every bit position from the page's codewords whatever the buffer held
// there, so of the page just written only the label needs to go: its strip
// black again, then the new label.  Spares a copy of the whole page.
void relabel_page(paprel_run &run)
{
    fill_rows(run, label_top, page_height - 1, 0);
    draw_label(run);
}

// The label line walked as draw_label walks it, keeping the name's drawn
// characters; the name starts where the line with an empty name ends.
void label_shown_name(uint32_t page_number, uint32_t page_count, const char *name, char *shown)
{
    char text[label_text_size];
    format_label_text(text, page_number, page_count, "");
    const size_t name_start = strlen(text);
    format_label_text(text, page_number, page_count, name);
    uint32_t x = text_start;
    size_t count = 0;
    for (size_t i = 0; text[i] != '\0'; i++) {
        if (!has_cell(text[i]))
            continue;
        if (i >= name_start && fits_strip(x))
            shown[count++] = text[i];
        x += glyph_width;
    }
    shown[count] = '\0';
}
