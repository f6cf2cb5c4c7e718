#!/usr/bin/env python3
"""Draws Slicery's icon, a 3.5-inch floppy disk cut in two by a dashed line,
and writes it as a 32x32, 32-bit ICO: res/make_icon.py > res/slicery.ico"""
import struct
import sys

SIZE = 32
BODY = (40, 60, 140)
SHUTTER = (190, 195, 200)
SLOT = (60, 60, 70)
LABEL = (245, 245, 235)
CUT = (220, 30, 30)


def pixel(x, y):
    """Colour of pixel (x, y), y counted from the top, or None if transparent."""
    if not (2 <= x <= 29 and 2 <= y <= 29) or x - y > 25:  # cut-off corner
        return None
    if y == 15 and x % 4 < 2:
        return CUT
    if 9 <= x <= 22 and 2 <= y <= 11:  # metal shutter with its slot
        return SLOT if 17 <= x <= 19 and 4 <= y <= 9 else SHUTTER
    if 6 <= x <= 25 and 18 <= y <= 29:  # paper label with ruled lines
        return BODY if y in (22, 25) and 8 <= x <= 23 else LABEL
    return BODY


def icon():
    rows = range(SIZE - 1, -1, -1)  # bitmaps are stored bottom-up
    colours = bytearray()
    mask = bytearray()
    for y in rows:
        bits = 0
        for x in range(SIZE):
            rgb = pixel(x, y)
            if rgb is None:
                colours += bytes((0, 0, 0, 0))
                bits |= 1 << (SIZE - 1 - x)
            else:
                colours += bytes((rgb[2], rgb[1], rgb[0], 255))
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, 2 * SIZE, 1, 32, 0,
                         len(colours) + len(mask), 0, 0, 0, 0)
    image = header + colours + mask
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


if __name__ == "__main__":
    sys.stdout.buffer.write(icon())
