#!/usr/bin/env python3
"""Draws the viewer's icon (Quillon.ico, resource 151): a slate disk carrying
a green charge ring three-quarters full and a white "i", at 16, 24, 32 and 48
pixels, 32-bit with alpha. The icon file packing is the tray icon's
generator's. Pure standard library; the result is committed."""
import math
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tray", "res"))
import make_icon as icon_file  # noqa: E402

SUB = 4


def shape(x, y):
    """Colour of one subsample, or None outside the icon."""
    dx, dy = x - 0.5, y - 0.5
    r = math.hypot(dx, dy)
    if r > 0.48:
        return None
    angle = (math.degrees(math.atan2(dx, -dy)) + 360) % 360  # 0 at the top, clockwise
    if 0.30 <= r <= 0.42:
        return (0x3C, 0xE0, 0x3C) if angle <= 270 else (0x5A, 0x66, 0x78)
    dot = math.hypot(dx, y - 0.33) <= 0.05
    stem = abs(dx) <= 0.045 and 0.42 <= y <= 0.68
    if dot or stem:
        return (0xFF, 0xFF, 0xFF)
    return (0x26, 0x32, 0x44)


def pixel(size, px, py):
    acc = [0, 0, 0]
    cover = 0
    for sy in range(SUB):
        for sx in range(SUB):
            c = shape((px + (sx + 0.5) / SUB) / size, (py + (sy + 0.5) / SUB) / size)
            if c:
                cover += 1
                for i in range(3):
                    acc[i] += c[i]
    if cover == 0:
        return (0, 0, 0, 0)
    return tuple(round(a / cover) for a in acc) + (round(255 * cover / (SUB * SUB)),)


if __name__ == "__main__":
    icon_file.main(sys.argv[1] if len(sys.argv) > 1 else "Quillon.ico", pixel)
