// label_art.h - the pictures the page label is drawn from.
//
// label_art is one image of 1500 x 24 palette indices, row by row from the
// top: the character cells of the label font (13 x 24 pixels each, for the
// characters 32..126, white strokes on black) followed by the emblem that
// starts every label. Index 0 is black and 1 white; label_palette maps an
// index to its colour. Both tables are constant and exist before main runs.
// They belong to the page format: paprel draws every label from them and
// unpaprel reads the label back against the same pictures.
#ifndef PAGEFORMAT_LABEL_ART_H
#define PAGEFORMAT_LABEL_ART_H

#include <array>
#include <cstdint>

constexpr uint32_t label_art_width = 1500;
constexpr uint32_t label_art_height = 24;
constexpr uint32_t glyph_width = 13;
constexpr uint32_t first_glyph = 32;  // the character of the first cell, ' '
constexpr uint32_t label_glyphs = 95; // cells for the characters 32..126
constexpr uint32_t emblem_x = 1235;   // first column of the emblem
constexpr uint32_t emblem_width = 265;

static_assert(emblem_x == label_glyphs * glyph_width, "the emblem follows the last cell");
static_assert(emblem_x + emblem_width == label_art_width, "the emblem ends the image");

struct palette_entry {
    uint8_t red;
    uint8_t green;
    uint8_t blue;
};

extern const std::array<uint8_t, label_art_width * label_art_height> label_art;
extern const std::array<palette_entry, 256> label_palette;

#endif
