#!/usr/bin/env python3
"""Writes the two pointer files the application loads from its own folder:

  HAND-M.CUR  a pointing hand (Windows cursor, 32x32, hotspot at the fingertip)
  drag.ico    an arrow with an up/down double arrow, shown while list rows are dragged

Both are 32-bit images in the Windows ICO/CUR container, drawn from the pixel maps below.
Standard library only, so anyone can remake them: python3 assets/tools/make_pointers.py
"""

import os
import struct
import sys

SIZE = 32

# Pixel maps: '.' clear, 'B' black, 'W' white. Outlines are drawn by hand rather than
# computed so the gaps between the fingers stay where they look right.
HAND = [
    "......BB..........",
    ".....BWWB.........",
    ".....BWWB.........",
    ".....BWWB.........",
    ".....BWWB.........",
    ".....BWWBBB.......",
    ".....BWWBWWBBB....",
    ".....BWWBWWBWWBBB.",
    ".....BWWBWWBWWBWWB",
    ".BB..BWWBWWBWWBWWB",
    "BWWB.BWWWWWWWWWWWB",
    "BWWWBBWWWWWWWWWWWB",
    "BWWWWBWWWWWWWWWWWB",
    ".BWWWWWWWWWWWWWWWB",
    "..BWWWWWWWWWWWWWWB",
    "...BWWWWWWWWWWWWWB",
    "....BWWWWWWWWWWWWB",
    ".....BWWWWWWWWWWB.",
    ".....BWWWWWWWWWWB.",
    "......BWWWWWWWWB..",
    "......BWWWWWWWWB..",
    "......BBBBBBBBBB..",
]

ARROW = [
    "B...........",
    "BB..........",
    "BWB.........",
    "BWWB........",
    "BWWWB.......",
    "BWWWWB......",
    "BWWWWWB.....",
    "BWWWWWWB....",
    "BWWWWWWWB...",
    "BWWWWWWWWB..",
    "BWWWWWWWWWB.",
    "BWWWWWWBBBBB",
    "BWWWBWWB....",
    "BWWBBWWB....",
    "BWB..BWWB...",
    "BB...BWWB...",
    "B.....BWWB..",
    "......BWWB..",
    ".......BB...",
]

# Solid shape only; a white rim is added around it so it shows on dark rows too.
UP_DOWN = [
    "....B....",
    "...BBB...",
    "..BBBBB..",
    ".BBBBBBB.",
    "BBBBBBBBB",
    "...BBB...",
    "...BBB...",
    "...BBB...",
    "...BBB...",
    "BBBBBBBBB",
    ".BBBBBBB.",
    "..BBBBB..",
    "...BBB...",
    "....B....",
]

COLOURS = {"B": (0, 0, 0, 255), "W": (255, 255, 255, 255)}
CLEAR = (0, 0, 0, 0)


def blank():
    return [[CLEAR] * SIZE for _ in range(SIZE)]


def stamp(canvas, pixel_map, left, top):
    for y, row in enumerate(pixel_map):
        for x, cell in enumerate(row):
            if cell != ".":
                canvas[top + y][left + x] = COLOURS[cell]


def stamp_with_rim(canvas, pixel_map, left, top):
    """Draws the map and a one pixel white rim around it, over whatever is beneath."""
    for y, row in enumerate(pixel_map):
        for x, cell in enumerate(row):
            if cell == ".":
                continue
            for dy in (-1, 0, 1):
                for dx in (-1, 0, 1):
                    cy, cx = top + y + dy, left + x + dx
                    if 0 <= cy < SIZE and 0 <= cx < SIZE:
                        canvas[cy][cx] = COLOURS["W"]
    stamp(canvas, pixel_map, left, top)


def dib(canvas):
    """A 32-bit BMP without file header, as icon and cursor files store it: the height field
    counts the colour rows and the mask rows together, and both run bottom-up."""
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = bytearray()
    for row in reversed(canvas):
        for r, g, b, a in row:
            colour += bytes((b, g, r, a))
    # The mask marks clear pixels with 1; each row is padded to a multiple of four bytes.
    mask_row_bytes = ((SIZE + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(canvas):
        bits = bytearray(mask_row_bytes)
        for x, pixel in enumerate(row):
            if pixel[3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(colour) + bytes(mask)


def container(canvas, hotspot=None):
    """One-image ICO (type 1) or, when a hotspot is given, CUR (type 2). A cursor keeps its
    hotspot in the directory entry where an icon keeps planes and bit count."""
    payload = dib(canvas)
    kind = 1 if hotspot is None else 2
    field_a, field_b = (1, 32) if hotspot is None else hotspot
    directory = struct.pack("<HHH", 0, kind, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, field_a, field_b, len(payload), 6 + 16)
    return directory + entry + payload


def fingertip(pixel_map):
    for y, row in enumerate(pixel_map):
        if "B" in row:
            return row.index("B"), y
    raise ValueError("empty pixel map")


def main():
    out_dir = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")

    hand_left, hand_top = 7, 1
    hand = blank()
    stamp(hand, HAND, hand_left, hand_top)
    tip_x, tip_y = fingertip(HAND)
    with open(os.path.join(out_dir, "HAND-M.CUR"), "wb") as f:
        f.write(container(hand, (hand_left + tip_x, hand_top + tip_y)))

    drag = blank()
    stamp(drag, ARROW, 0, 0)
    stamp_with_rim(drag, UP_DOWN, 13, 11)
    with open(os.path.join(out_dir, "drag.ico"), "wb") as f:
        f.write(container(drag))


if __name__ == "__main__":
    main()
