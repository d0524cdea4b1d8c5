#!/usr/bin/env python3
"""Draws the tray program's icon (Vorlix.ico): a blue rounded key cap with a
white power-toggle glyph, at 16, 24, 32 and 48 pixels, 32-bit with alpha.
Pure standard library; run it after changing the drawing, the result is committed."""
import math
import struct
import sys

SUB = 4  # subsamples per pixel and axis


def rounded_rect(x, y, inset, radius):
    lo, hi = inset, 1.0 - inset
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and lo <= x <= hi and lo <= y <= hi


def glyph(x, y):
    cx, cy = 0.5, 0.54
    dx, dy = x - cx, y - cy
    r = math.hypot(dx, dy)
    ring = 0.20 <= r <= 0.29
    angle = math.degrees(math.atan2(dx, -dy))  # 0 at the top, clockwise
    gap = abs(angle) < 38
    bar = abs(dx) <= 0.045 and 0.17 <= y <= 0.50
    return (ring and not gap) or bar


def pixel(size, px, py):
    cover = white = 0
    top = (0x3A, 0x8D, 0xF0)
    bottom = (0x17, 0x4A, 0x9E)
    for sy in range(SUB):
        for sx in range(SUB):
            x = (px + (sx + 0.5) / SUB) / size
            y = (py + (sy + 0.5) / SUB) / size
            if rounded_rect(x, y, 0.04, 0.22):
                cover += 1
                if glyph(x, y):
                    white += 1
    n = SUB * SUB
    if cover == 0:
        return (0, 0, 0, 0)
    t = (py + 0.5) / size
    base = [top[i] + (bottom[i] - top[i]) * t for i in range(3)]
    w = white / cover
    rgb = [round(base[i] * (1 - w) + 255 * w) for i in range(3)]
    return (rgb[0], rgb[1], rgb[2], round(255 * cover / n))


def image(size, pixel=pixel):
    rows = []
    for py in reversed(range(size)):  # bottom-up
        row = b""
        for px in range(size):
            r, g, b, a = pixel(size, px, py)
            row += bytes((b, g, r, a))
        rows.append(row)
    xor = b"".join(rows)
    mask_stride = ((size + 31) // 32) * 4
    and_mask = bytes(mask_stride * size)  # alpha decides transparency
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(and_mask), 0, 0, 0, 0)
    return header + xor + and_mask


def main(path, pixel=pixel):
    """Writes an icon file of every size drawn by pixel(size, px, py) -> RGBA."""
    sizes = [16, 24, 32, 48]
    images = [image(s, pixel) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "Vorlix.ico")
