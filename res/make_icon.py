#!/usr/bin/env python3
"""Draws the program's icon: one 48 x 48, 24-bit image, written as Velmora.ico.

A teal disc with a white check mark and a dark ring. Run it again only to
change the design; the .ico it writes is committed.
"""
import math
import struct
import sys

SIZE = 48


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    r = math.hypot(x - cx, y - cy)
    if r > 23.0:
        return None  # transparent corner
    if r > 20.5:
        return (0x20, 0x3A, 0x4C)  # ring
    # check mark: two thick strokes
    def near(ax, ay, bx, by, width):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / (dx * dx + dy * dy)))
        return math.hypot(x - (ax + t * dx), y - (ay + t * dy)) <= width
    if near(13, 25, 21, 33, 3.2) or near(21, 33, 35, 15, 3.2):
        return (0xFF, 0xFF, 0xFF)
    shade = int(40 * (y / SIZE))
    return (0x1E + shade // 2, 0x9A - shade, 0x8C - shade // 2)


def ico_bytes():
    row_xor = (SIZE * 3 + 3) // 4 * 4
    row_and = (SIZE + 31) // 32 * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(SIZE)):  # bottom-up rows
        line = bytearray()
        bits = bytearray(row_and)
        for x in range(SIZE):
            colour = pixel(x, y)
            if colour is None:
                line += b"\0\0\0"
                bits[x // 8] |= 0x80 >> (x % 8)
            else:
                r, g, b = colour
                line += bytes((b, g, r))
        xor += line + b"\0" * (row_xor - len(line))
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 24, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack("<BBBBHHII", SIZE, SIZE, 0, 0, 1, 24, len(image), 22)
    return directory + image


if __name__ == "__main__":
    target = sys.argv[1] if len(sys.argv) > 1 else "Velmora.ico"
    with open(target, "wb") as f:
        f.write(ico_bytes())
