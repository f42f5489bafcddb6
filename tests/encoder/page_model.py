#!/usr/bin/env python3
"""An independent model of one paprel page, for the golden hash test.

Written from the description of the page format, not from the encoder's
code: bit positions are found by counting the non-cross pixels of the data
area in reading order, and the Golay parity by exclusive-or of the parity
rows. Only the label's pictures are shared: they are read from the rows of
'#' and '.' in pageformat/label_pictures.inc.

    page_model.py <input file> <label name> <label_pictures.inc>

prints the SHA-256 of page 1 of that input (the payload must fit one page).
The literal in golden_page.cmake came from this script.
"""

import hashlib
import re
import sys

WIDTH, HEIGHT = 1546, 2242
DATA_W, DATA_H = 1542, 2214
CODEWORDS = 133182
PARITY_ROWS = [0x83F, 0x58F, 0x2E7, 0x573, 0x6B9, 0x35D,
               0xBAC, 0x9D6, 0xCEA, 0xE74, 0xF1A, 0xFC1]


def golay(d):
    parity = 0
    for k in range(12):
        if d >> k & 1:
            parity ^= PARITY_ROWS[k]
    return d << 12 | parity


def is_cross(x, y):
    return x % 24 < 6 and y % 24 < 6


def label_art(source):
    """The 1500 x 24 art as rows of 0/1, from the glyph and emblem rows."""
    rows = re.findall(r'"([#.]+)"', open(source).read())
    glyphs, emblem = rows[:95 * 24], rows[95 * 24:]
    assert len(emblem) == 24 and all(len(r) == 13 for r in glyphs)
    art = []
    for r in range(24):
        line = "".join(glyphs[g * 24 + r] for g in range(95)) + emblem[r]
        art.append([1 if ch == "#" else 0 for ch in line])
    return art


def empty_page():
    pix = bytearray([255]) * (WIDTH * HEIGHT)
    for y in range(HEIGHT):
        for x in range(WIDTH):
            if y < 2 or y >= 2216 or x < 2 or x >= 1544:
                pix[y * WIDTH + x] = 0
    for y in range(DATA_H):
        for x in range(DATA_W):
            if is_cross(x, y):
                u, v = x % 24, y % 24
                pix[(y + 2) * WIDTH + x + 2] = 0 if (u < 3) == (v < 3) else 255
    return pix


def copy_art(pix, art, art_x, label_x, width):
    for r in range(24):
        for c in range(width):
            pix[(2216 + r) * WIDTH + 2 + label_x + c] = 255 * art[r][art_x + c]


def draw_label(pix, number, count, name, art):
    text = ("  0-65-93-24-3-1-2-24 %d/%d " % (number, count)).encode() + name
    copy_art(pix, art, 1235, 0, 265)
    x = 265
    for ch in text[:117]:
        if ch < 32 or ch >= 128:
            continue
        if x + 13 <= 1542:
            copy_art(pix, art, (ch - 32) * 13, x, 13)
        x += 13


def main():
    data = open(sys.argv[1], "rb").read()
    name = sys.argv[2].encode()
    art = label_art(sys.argv[3])
    count = (len(data) * 8 + 1598183) // 1598184
    pix = empty_page()
    draw_label(pix, 1, count, name, art)
    offsets = [(y + 2) * WIDTH + x + 2
               for y in range(DATA_H) for x in range(DATA_W) if not is_cross(x, y)]
    assert len(offsets) == 24 * CODEWORDS
    bits = "".join(format(b, "08b") for b in data)
    bits += "0" * (-len(bits) % 12)
    assert len(bits) // 12 <= CODEWORDS, "one page only"
    for k in range(len(bits) // 12):
        word = golay(int(bits[12 * k:12 * k + 12], 2))
        for n in range(24):
            pix[offsets[n * CODEWORDS + k]] = 0 if word >> (23 - n) & 1 else 255
    page = b"P5\n%d %d\n255\n" % (WIDTH, HEIGHT) + bytes(pix)
    print(hashlib.sha256(page).hexdigest())


if __name__ == "__main__":
    main()
