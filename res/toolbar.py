#!/usr/bin/env python3
"""Writes toolbar.bmp: seven 16x15 button images in one 4-bit strip.

Order follows the toolbar's buttons (separators take no image): Open,
Print, About, then the four listing orders (entry number, From, To,
Subject). The light grey is the button face; the menu and the toolbar
treat it as transparent, and black, dark grey, light grey and white are
remapped to the current button colours when the strip is loaded, so the
pictures keep to those four plus a few fixed accents.

Run it from this folder: python3 toolbar.py
"""
import struct
import sys

# The standard 16-colour palette, in its usual order (R, G, B).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
INK = {'k': 0, 'R': 1, 'd': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, '.': 7,
       'g': 8, 'r': 9, 'G': 10, 'y': 11, 'b': 12, 'm': 13, 'c': 14, 'w': 15}

OPEN = """
................
................
.kkkk...........
koooook.........
kooooookkkkkk...
kooooooooooook..
kooookkkkkkkkkkk
koookyyyyyyyyyyk
kookyyyyyyyyyyk.
kookyyyyyyyyyyk.
kokyyyyyyyyyyk..
kokyyyyyyyyyyk..
kkyyyyyyyyyyk...
kkkkkkkkkkkkk...
................
"""

PRINT = """
................
....kkkkkkkk....
....kwwwwwwk....
....kwkkkkwk....
....kwwwwwwk....
..kkkkkkkkkkkk..
.kwwwwwwwwwwwwk.
.kwwwwwwwwwGGwk.
.kggggggggggggk.
.kggggggggggggk.
.kkkkkkkkkkkkkk.
...kwwwwwwwwk...
...kwkkkkkkwk...
...kkkkkkkkkk...
................
"""

ABOUT = """
.....kkkkk......
...kkbbbbbkk....
..kbbbwwwbbbk...
.kbbbwwbwwbbbk..
.kbbbbbbwwbbbk..
kbbbbbbwwbbbbbk.
kbbbbbwwbbbbbbk.
kbbbbbwwbbbbbbk.
kbbbbbbbbbbbbbk.
.kbbbbwwbbbbbk..
.kbbbbwwbbbbbk..
..kbbbbbbbbbk...
...kkbbbbbkk....
.....kkkkk......
................
"""

# A downward arrow (the order) beside a letter for the column it orders by.
ARROW = [
    ".....", ".....", "..n..", "..n..", "..n..", "..n..", "..n..",
    "..n..", "nnnnn", ".nnn.", "..n..", ".....", ".....", ".....", ".....",
]

LETTERS = {
    '#': ["..k..k..", "..k..k..", "kkkkkkkk", "..k..k..", ".k..k...",
          ".k..k...", "kkkkkkkk", ".k..k...", ".k..k..."],
    'F': ["kkkkkkkk", "kkkkkkkk", "kk......", "kk......", "kkkkkk..",
          "kkkkkk..", "kk......", "kk......", "kk......"],
    'T': ["kkkkkkkk", "kkkkkkkk", "...kk...", "...kk...", "...kk...",
          "...kk...", "...kk...", "...kk...", "...kk..."],
    'S': [".kkkkkk.", "kk....kk", "kk......", "kkk.....", ".kkkkkk.",
          ".....kkk", "......kk", "kk....kk", ".kkkkkk."],
}


def order_image(letter):
    rows = []
    glyph = LETTERS[letter]
    for y in range(15):
        cell = glyph[y - 3] if 3 <= y < 12 else "........"
        rows.append(ARROW[y] + ".." + cell + ".")
    return rows


def grid(text):
    return [line for line in text.strip().splitlines()]


def main(path):
    images = [grid(OPEN), grid(PRINT), grid(ABOUT)] + [order_image(c) for c in "#FTS"]
    for n, image in enumerate(images):
        if len(image) != 15 or any(len(row) != 16 for row in image):
            sys.exit("image %d is not 16x15" % n)
    width, height = 16 * len(images), 15
    stride = (width * 4 + 31) // 32 * 4
    pixels = bytearray()
    for y in reversed(range(height)):  # bottom-up rows
        row = "".join(image[y] for image in images)
        line = bytearray()
        for x in range(0, width, 2):
            line.append(INK[row[x]] << 4 | INK[row[x + 1]])
        line.extend(b"\0" * (stride - len(line)))
        pixels += line
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    offset = 14 + 40 + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 0, 0)
    with open(path, "wb") as out:
        out.write(header + info + palette + pixels)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "toolbar.bmp")
