#!/usr/bin/env python3
# make_corpus.py - writes the fuzzers' seed scans into fuzz/corpus/.
#
# Small PNG files written here byte by byte (zlib and struct only), so the
# seeds do not come from the code they exercise: every colour type and bit
# depth, with and without gAMA and tRNS chunks, interlaced and not; tiny,
# all-black and all-white images; framed pages, a tilted one and one cut off
# at an edge, and a blank one as large as a page at half a scan pixel per
# page pixel, the smallest on which the crosses are measured.  The page
# decoder's seeds are the pictures, the PNG loader's the variety of
# encodings; the command line's are command lines, each with a picture.
# Run: python3 fuzz/make_corpus.py
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def pack_row(values, depth, channels):
    # values: samples of one row, channels per pixel, already at `depth`
    if depth == 8:
        return bytes(values)
    if depth == 16:
        return b"".join(struct.pack(">H", v) for v in values)
    out, acc, bits = bytearray(), 0, 0
    for v in values:
        acc = acc << depth | v
        bits += depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def samples(grey, colour_type, depth):
    """Per pixel sample tuple for a grey value 0..255."""
    top = (1 << depth) - 1
    g = grey * top // 255
    return {0: (g,), 2: (g, g, g), 3: (grey >> (8 - depth) if depth < 8 else grey,),
            4: (g, top), 6: (g, g, g, top)}[colour_type]


def png(width, height, pixels, colour_type=0, depth=8, gamma=100000, interlace=False, trns=False):
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[colour_type]
    out = b"\x89PNG\r\n\x1a\n"
    out += chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour_type, 0, 0,
                                      1 if interlace else 0))
    if gamma:
        out += chunk(b"gAMA", struct.pack(">I", gamma))
    if colour_type == 3:
        n = 1 << depth
        out += chunk(b"PLTE", b"".join(bytes([i * 255 // (n - 1)] * 3) for i in range(n)))
        if trns:
            out += chunk(b"tRNS", b"\x00")
    elif trns and colour_type == 0:
        out += chunk(b"tRNS", struct.pack(">H", 0))
    elif trns and colour_type == 2:
        out += chunk(b"tRNS", struct.pack(">HHH", 0, 0, 0))
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    raw = bytearray()
    for x0, y0, dx, dy in passes:
        cols = range(x0, width, dx)
        if not cols:
            continue
        for y in range(y0, height, dy):
            row = []
            for x in cols:
                row.extend(samples(pixels[y * width + x], colour_type, depth))
            raw += b"\x00" + pack_row(row, depth, channels)
    out += chunk(b"IDAT", zlib.compress(bytes(raw), 9))
    out += chunk(b"IEND", b"")
    return out


def framed(width, height, left, top, right, bottom, tilt=0):
    """White with a 2-pixel black frame; `tilt` shifts rows to the right."""
    grey = [255] * (width * height)
    for y in range(top, min(bottom + 1, height)):
        shift = tilt * (y - top) // max(1, bottom - top)
        for x in range(left + shift, right + 1 + shift):
            if 0 <= x < width and y < height and (y - top < 2 or bottom - y < 2 or x - left - shift < 2
                                   or right + shift - x < 2 or (x * 7 + y * 3) % 11 == 0):
                grey[y * width + x] = 0
    return grey


def blank_frame(width, height, left, top, right, bottom):
    """White with a 4-pixel black frame around white paper."""
    grey = [255] * (width * height)
    for y in range(top, bottom + 1):
        for x in range(left, right + 1):
            if y - top < 4 or bottom - y < 4 or x - left < 4 or right - x < 4:
                grey[y * width + x] = 0
    return grey


def write(folder, name, data):
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def main():
    load = os.path.join(HERE, "corpus", "png_load")
    page = os.path.join(HERE, "corpus", "page_decode")
    picture = [(i * 37 + (i // 7) * 11) % 256 for i in range(7 * 5)]
    kinds = [(0, 1), (0, 2), (0, 4), (0, 8), (0, 16), (2, 8), (2, 16), (3, 1), (3, 2), (3, 4),
             (3, 8), (4, 8), (4, 16), (6, 8), (6, 16)]
    for colour_type, depth in kinds:
        for interlace in (False, True):
            for trns in (False, True):
                if trns and colour_type in (4, 6):
                    continue
                name = "ct%d_d%d%s%s.png" % (colour_type, depth, "_i" if interlace else "",
                                             "_t" if trns else "")
                write(load, name, png(7, 5, picture, colour_type, depth, 100000 if trns else 0,
                                      interlace, trns))
    write(load, "one_pixel.png", png(1, 1, [128]))
    write(load, "gamma_extreme_low.png", png(2, 3, [0, 64, 128, 192, 255, 30], gamma=16))
    write(load, "gamma_extreme_high.png", png(2, 3, [0, 64, 128, 192, 255, 30], gamma=625000000))

    write(page, "one_pixel_black.png", png(1, 1, [0]))
    write(page, "two_by_three.png", png(2, 3, [0, 255, 255, 0, 0, 0]))
    write(page, "all_black.png", png(16, 12, [0] * 192))
    write(page, "all_white.png", png(16, 12, [255] * 192))
    write(page, "frame.png", png(40, 30, framed(40, 30, 5, 4, 34, 25)))
    write(page, "frame_palette.png", png(40, 30, framed(40, 30, 5, 4, 34, 25), colour_type=3))
    write(page, "frame_tilted.png", png(90, 120, framed(90, 120, 8, 6, 70, 110, tilt=9)))
    write(page, "frame_cut_off.png", png(60, 50, framed(60, 50, 10, 12, 75, 60)))
    write(page, "frame_interlaced.png", png(64, 90, framed(64, 90, 3, 3, 60, 86), interlace=True))
    blank_sheet = png(800, 1150, blank_frame(800, 1150, 10, 10, 789, 1139))
    write(page, "frame_blank_sheet.png", blank_sheet)

    # Arguments, each ended by a NUL, an empty one, then the scan's bytes.
    line = os.path.join(HERE, "corpus", "command_line")
    small = png(40, 30, framed(40, 30, 5, 4, 34, 25))
    command_lines = [
        ("plain", [b"0-65-93-24-3-1-2-24", b"s"], small),
        ("keep_going_labels", [b"--keep-going", b"--labels", b"0-65-93-24-3-1-2-24", b"s"], small),
        ("max_pixels", [b"--max-pixels", b"1000", b"0-65-93-24-3-1-2-24", b"s"], small),
        ("text_height", [b"0-65-93-24-3-1-2-30", b"s"], small),
        ("blank_sheet", [b"--keep-going", b"0-65-93-24-3-1-2-24", b"s"], blank_sheet),
        ("unknown_option", [b"--bogus", b"0-65-93-24-3-1-2-24", b"s"], small),
        ("no_arguments", [], small),
        ("no_debug_summary", [b"--no-debug", b"--summary", b"0-65-93-24-3-1-2-24", b"s"], small),
        ("help", [b"--help"], small),
        ("soft_two_bases", [b"--soft", b"0-65-93-24-3-1-2-24", b"s", b"s"], small),
        ("soft_keep_going", [b"--soft", b"--keep-going", b"0-65-93-24-3-1-2-24", b"t", b"s"],
         blank_sheet),
    ]
    for name, arguments, scan in command_lines:
        write(line, name, b"".join(a + b"\0" for a in arguments) + b"\0" + scan)


if __name__ == "__main__":
    main()
