#!/usr/bin/env python3
"""Writes assets/HAND-M.CUR, the pointer shown over the window's push buttons.

The picture below is the whole source: '#' is the black outline, '.' the white fill, a blank is
transparent, and 'H' (a black pixel) marks the hotspot at the fingertip. The file is a Windows
cursor: one 32 x 32 image, 32-bit BGRA with its 1-bit AND mask, the hotspot in the directory.
"""
import pathlib
import struct

PICTURE = r"""
      #H
     #..#
     #..#
     #..#
     #..#
     #..###
     #..#..###
     #..#..#..##
  ## #..#..#..#.#
 #..##..........#
 #...#..........#
  #.............#
  #.............#
   #............#
   #...........#
    #..........#
    #.........#
     #........#
     #........#
     ##########
"""

SIZE = 32


def pixels():
    rows = PICTURE.strip("\n").split("\n")
    grid = [[" "] * SIZE for _ in range(SIZE)]
    hotspot = None
    for y, row in enumerate(rows):
        for x, c in enumerate(row):
            if c == "H":
                hotspot = (x, y)
                c = "#"
            grid[y][x] = c
    return grid, hotspot


def cursor_bytes():
    grid, (hot_x, hot_y) = pixels()
    colour = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        bits = 0
        for x in range(SIZE):
            c = grid[y][x]
            if c == "#":
                colour += bytes((0, 0, 0, 255))
            elif c == ".":
                colour += bytes((255, 255, 255, 255))
            else:
                colour += bytes((0, 0, 0, 0))
                bits |= 1 << (SIZE - 1 - x)  # AND mask: 1 keeps the screen
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 2, 1)  # reserved, type 2 (cursor), one image
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, hot_x, hot_y, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    target = pathlib.Path(__file__).resolve().parent.parent / "assets" / "HAND-M.CUR"
    target.write_bytes(cursor_bytes())
    print(f"wrote {target}")
