#!/usr/bin/env python3
"""Draws drag.ico, the pointer shown while an entry of the file list is dragged up or down:
a row between an up and a down arrow, black with a white rim, its hot spot at the centre.
Run it to remake the icon: python3 make-drag-ico.py > drag.ico"""
import struct
import sys

SIZE = 32


def in_shape(x, y):
    """Black part: a double-headed vertical arrow through a row outline."""
    cx = 15.5
    # Arrow heads: triangles with apex at the top and bottom edge.
    if 1 <= y <= 8 and abs(x - cx) <= (y - 1) + 0.5:
        return True
    if 23 <= y <= 30 and abs(x - cx) <= (30 - y) + 0.5:
        return True
    # Shafts.
    if 9 <= y <= 22 and 14 <= x <= 17:
        return True
    # The row: an outlined bar across the middle.
    if 12 <= y <= 19 and 5 <= x <= 26 and (y in (12, 19) or x in (5, 26)):
        return True
    return False


def in_row_inside(x, y):
    return 13 <= y <= 18 and 6 <= x <= 25


def pixel(x, y):
    """BGRA of one pixel; y counts from the top."""
    if in_shape(x, y):
        return (0, 0, 0, 255)
    if in_row_inside(x, y):
        return (255, 255, 255, 255)
    near = any(in_shape(x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1))
    return (255, 255, 255, 255) if near else (0, 0, 0, 0)


def ico():
    rows = []
    for y in reversed(range(SIZE)):  # bitmaps are stored bottom-up
        rows.append(b"".join(bytes(pixel(x, y)) for x in range(SIZE)))
    colour = b"".join(rows)
    mask = bytes(SIZE * 4)  # 1 bit per pixel, rows padded to 32 bits; alpha carries the shape
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 32, 0, len(colour) + len(mask),
                         0, 0, 0, 0)
    image = header + colour + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32,
                                                            len(image), 22)
    return directory + image


if __name__ == "__main__":
    sys.stdout.buffer.write(ico())
