#!/usr/bin/env python3
"""Draws the tray program's on-screen display pictures (data/Image/...):
device icons and centre pictures, each enabled and disabled, and the level
bar set (base, fill, right cap and the brightness, volume and muted icons).
32-bit PNGs with per-pixel alpha on a dark translucent panel; shapes are
signed-distance functions, anti-aliased by subsampling near their edges.
Pure standard library; run it after changing the drawing, the results are
committed:  python3 tray/res/make_osd_pictures.py data/Image"""
import math
import os
import struct
import sys
import zlib

SUB = 4  # subsamples per pixel and axis on edges

# ---- shapes: signed distance, negative inside -------------------------------


def rrect(cx, cy, hw, hh, r):
    def d(x, y):
        qx, qy = abs(x - cx) - hw + r, abs(y - cy) - hh + r
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - r
    return d


def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(shape, width):
    return lambda x, y: abs(shape(x, y)) - width / 2


def seg(ax, ay, bx, by, width):
    def d(x, y):
        px, py, vx, vy = x - ax, y - ay, bx - ax, by - ay
        t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
        return math.hypot(px - vx * t, py - vy * t) - width / 2
    return d


def arc(cx, cy, r, width, a0, a1):
    """Arc from angle a0 to a1 (degrees, clockwise on screen from +x), round ends."""
    e0 = (cx + r * math.cos(math.radians(a0)), cy + r * math.sin(math.radians(a0)))
    e1 = (cx + r * math.cos(math.radians(a1)), cy + r * math.sin(math.radians(a1)))

    def d(x, y):
        a = math.degrees(math.atan2(y - cy, x - cx))
        if (a - a0) % 360 <= (a1 - a0) % 360:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2
        return min(math.hypot(x - e0[0], y - e0[1]), math.hypot(x - e1[0], y - e1[1])) - width / 2
    return d


def polygon(points):
    n = len(points)

    def d(x, y):
        best, inside = 1e9, False
        for i in range(n):
            ax, ay = points[i]
            bx, by = points[(i + 1) % n]
            vx, vy, px, py = bx - ax, by - ay, x - ax, y - ay
            t = max(0.0, min(1.0, (px * vx + py * vy) / (vx * vx + vy * vy)))
            best = min(best, math.hypot(px - vx * t, py - vy * t))
            if (ay > y) != (by > y) and x < ax + (y - ay) * vx / vy:
                inside = not inside
        return -best if inside else best
    return d


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: max(a(x, y), -b(x, y))


def intersect(a, b):
    return lambda x, y: max(a(x, y), b(x, y))


def ellipse_ends(x0, x1, cy, rx, ry):
    """A bar from x0 to x1 whose ends are half ellipses rx wide, ry high."""
    def d(x, y):
        dy = abs(y - cy)
        if x0 + rx <= x <= x1 - rx:
            return dy - ry
        cx = x0 + rx if x < x0 + rx else x1 - rx
        return (math.hypot((x - cx) * ry / rx, dy) - ry) * min(1.0, rx / ry)
    return d


def half_ellipse(x0, cy, rx, ry):
    """The right half of an ellipse whose flat side is at x0."""
    def d(x, y):
        e = (math.hypot((x - x0) * ry / rx, y - cy) - ry) * min(1.0, rx / ry)
        return max(e, x0 - x)
    return d


def text(s, x, y, h, width):
    """Letters as strokes, top-left at (x, y), h high."""
    w = 0.62 * h
    glyphs = {
        "O": lambda ox: [ring(rrect(ox + w / 2, y + h / 2, w / 2, h / 2, w / 2), width)],
        "N": lambda ox: [seg(ox, y + h, ox, y, width), seg(ox, y, ox + w, y + h, width), seg(ox + w, y + h, ox + w, y, width)],
        "F": lambda ox: [seg(ox, y + h, ox, y, width), seg(ox, y, ox + w, y, width), seg(ox, y + h * 0.48, ox + w * 0.8, y + h * 0.48, width)],
        "3": lambda ox: [arc(ox + w / 2, y + h * 0.26, h * 0.26, width, 180, 90), arc(ox + w / 2, y + h * 0.72, h * 0.28, width, 270, 165)],
        "G": lambda ox: [arc(ox + w / 2, y + h / 2, h / 2, width, 35, 325), seg(ox + w * 0.55, y + h * 0.58, ox + w * 0.98, y + h * 0.58, width),
                         seg(ox + w * 0.98, y + h * 0.58, ox + w * 0.98, y + h * 0.86, width)],
    }
    strokes, ox = [], x
    for ch in s:
        strokes += glyphs[ch](ox)
        ox += w + h * 0.3 + (0.25 * h if ch == "G" else 0)
    return union(*strokes)


def text_width(s, h):
    w = 0.62 * h
    return len(s) * w + (len(s) - 1) * h * 0.3 + (0.25 * h if "G" in s else 0)


# ---- canvas -----------------------------------------------------------------


class Canvas:
    """Drawn in design units: a pixel is 1 / scale of them."""

    def __init__(self, w, h, scale=1.0):
        self.w, self.h, self.scale = w, h, scale
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(w * h)]  # premultiplied floats

    def paint(self, shape, colour, box=None):
        """Paints a shape with a colour (r, g, b, a) or a function of (x, y) giving one."""
        k = self.scale
        x0, y0, x1, y1 = (v * k for v in box) if box else (0, 0, self.w, self.h)
        x0, y0, x1, y1 = max(0, int(x0)), max(0, int(y0)), min(self.w, int(math.ceil(x1))), min(self.h, int(math.ceil(y1)))
        n = SUB * SUB
        for py in range(y0, y1):
            for px in range(x0, x1):
                d = shape((px + 0.5) / k, (py + 0.5) / k) * k
                if d > 1.5:
                    continue
                if d < -1.5:
                    cover = 1.0
                else:
                    hits = 0
                    for sy in range(SUB):
                        for sx in range(SUB):
                            if shape((px + (sx + 0.5) / SUB) / k, (py + (sy + 0.5) / SUB) / k) <= 0:
                                hits += 1
                    if not hits:
                        continue
                    cover = hits / n
                c = colour((px + 0.5) / k, (py + 0.5) / k) if callable(colour) else colour
                a = c[3] * cover
                dst = self.px[py * self.w + px]
                for i in range(3):
                    dst[i] = c[i] / 255 * a + dst[i] * (1 - a)
                dst[3] = a + dst[3] * (1 - a)

    def png(self, path):
        rows = []
        for y in range(self.h):
            row = bytearray(b"\x00")
            for x in range(self.w):
                r, g, b, a = self.px[y * self.w + x]
                if a <= 0:
                    row += b"\x00\x00\x00\x00"
                else:
                    row += bytes(min(255, round(v / a * 255)) for v in (r, g, b)) + bytes((round(a * 255),))
            rows.append(bytes(row))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

        data = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.w, self.h, 8, 6, 0, 0, 0))
        data += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)


def vertical(top, bottom, y0, y1, alpha=1.0):
    def c(x, y):
        t = min(1.0, max(0.0, (y - y0) / (y1 - y0)))
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3)) + (alpha,)
    return c


# ---- the house look ---------------------------------------------------------

PANEL_TOP, PANEL_BOTTOM = (52, 58, 72), (20, 23, 30)
WHITE = (246, 250, 255, 1.0)
ACCENT_TOP, ACCENT_BOTTOM = (120, 214, 255), (24, 120, 236)
GREEN = (88, 214, 120, 1.0)
RED = (240, 70, 60, 1.0)
GREY = (128, 134, 146, 1.0)


def panel(c, radius):
    w, h = c.w / c.scale, c.h / c.scale
    c.paint(rrect(w / 2, h / 2 + 1, w / 2 - 1, h / 2 - 2, radius), (0, 0, 0, 0.35))  # soft drop
    body = rrect(w / 2, h / 2, w / 2 - 2, h / 2 - 2, radius)
    c.paint(body, vertical(PANEL_TOP, PANEL_BOTTOM, 0, h, 0.88))
    c.paint(ring(rrect(w / 2, h / 2, w / 2 - 2.75, h / 2 - 2.75, radius - 0.75), 1.5), (255, 255, 255, 0.16))
    # A faint sheen fading out toward the middle.
    c.paint(body, lambda x, y: (255, 255, 255, 0.07 * max(0.0, 1 - y / (h * 0.55))), (0, 0, w, h * 0.6))


def state_label(c, on, y, h):
    s = "ON" if on else "OFF"
    tw = text_width(s, h)
    colour = GREEN if on else (196, 92, 84, 1.0)
    c.paint(text(s, (c.w / c.scale - tw) / 2, y, h, h * 0.2), colour, (0, y - 3, c.w / c.scale, y + h + 3))


def slash(c, box):
    x0, y0, x1, y1 = box
    c.paint(seg(x0, y0, x1, y1, 15), vertical(PANEL_TOP, PANEL_BOTTOM, 0, c.h / c.scale, 1.0))  # gap in the glyph
    c.paint(seg(x0, y0, x1, y1, 8), RED)


def glyph_colour(on):
    return vertical(ACCENT_TOP, (255, 255, 255), 20, 110, 1.0) if on else GREY


# ---- device icons (80 x 80, drawn on a 140 x 140 design) --------------------
# 80 pixels wide, so that the second device slot (kind 4) sits beside the
# first without covering it down to a taskbar 20 pixels high.
ICON_SIZE = 80

def wireless(cx, cy):
    r = [arc(cx, cy + 24, rr, 8, 225, 315) for rr in (16, 31, 46)]
    return union(*r, circle(cx, cy + 24, 6.5))


def bluetooth(cx, cy):
    s = 24
    A, D = (cx, cy - 1.25 * s), (cx, cy + 1.25 * s)
    B, E = (cx + 0.7 * s, cy - 0.6 * s), (cx + 0.7 * s, cy + 0.6 * s)
    C, F = (cx - 0.75 * s, cy + 0.65 * s), (cx - 0.75 * s, cy - 0.65 * s)
    return union(seg(*A, *D, 7), seg(*A, *B, 7), seg(*B, *C, 7), seg(*D, *E, 7), seg(*E, *F, 7))


def touchpad(cx, cy):
    outline = ring(rrect(cx, cy, 34, 26, 7), 6)
    return union(outline, seg(cx - 31, cy + 10, cx + 31, cy + 10, 5), seg(cx, cy + 10, cx, cy + 24, 5))


def webcam(cx, cy):
    head = ring(circle(cx, cy - 6, 22), 6)
    lens = circle(cx, cy - 6, 8.5)
    neck = seg(cx, cy + 16, cx, cy + 26, 6)
    foot = seg(cx - 18, cy + 29, cx + 18, cy + 29, 6)
    return union(head, lens, neck, foot)


def eco(cx, cy):
    # A leaf: two circles overlapping, turned 45 degrees, with its vein.
    def leaf(x, y):
        u, v = (x - cx - (y - cy)) / math.sqrt(2), (x - cx + y - cy) / math.sqrt(2)
        return max(math.hypot(u, v - 22) - 38, math.hypot(u, v + 22) - 38)
    vein = seg(cx - 16, cy + 16, cx + 15, cy - 15, 4.5)
    stem = seg(cx - 31, cy + 31, cx - 20, cy + 20, 5.5)
    return union(minus(leaf, vein), stem)


def three_g(cx, cy):
    h = 44
    return text("3G", cx - text_width("3G", h) / 2, cy - h / 2, h, 7.5)


DEVICES = {
    "Wireless": wireless,
    "BlueTooth": bluetooth,
    "TouchPad": touchpad,
    "WebCam": webcam,
    "ECO": eco,
    "3G": three_g,
}


def device_icon(draw, on):
    c = Canvas(ICON_SIZE, ICON_SIZE, ICON_SIZE / 140)
    panel(c, 24)
    cx, cy = 70, 60
    glow = circle(cx, cy, 44)
    if on:
        c.paint(glow, lambda x, y: (60, 160, 255, 0.16 * max(0.0, 1 - math.hypot(x - cx, y - cy) / 44)), (20, 10, 120, 110))
    c.paint(draw(cx, cy), glyph_colour(on), (14, 8, 126, 112))
    if not on:
        slash(c, (cx - 34, cy - 34, cx + 34, cy + 34))
    state_label(c, on, 104, 19)
    return c


# ---- centre pictures (240 x 180) --------------------------------------------

def turbo(c, on):
    cx, cy = 120, 86
    dial = arc(cx, cy, 48, 9, 150, 30)
    if on:
        c.paint(dial, lambda x, y: ((255, 196, 60) if x < cx else (255, 86, 48)) + (1.0,), (60, 30, 180, 140))
    else:
        c.paint(dial, GREY, (60, 30, 180, 140))
    for k in range(7):
        a = math.radians(150 + k * 40)
        c.paint(seg(cx + 30 * math.cos(a), cy + 30 * math.sin(a), cx + 36 * math.cos(a), cy + 36 * math.sin(a), 3),
                WHITE if on else GREY, (60, 30, 180, 140))
    needle = math.radians(-40 if on else 200)
    c.paint(seg(cx, cy, cx + 40 * math.cos(needle), cy + 40 * math.sin(needle), 6), WHITE if on else GREY, (60, 30, 180, 140))
    c.paint(circle(cx, cy, 9), (255, 86, 48, 1.0) if on else GREY, (100, 70, 140, 100))


def theater(c, on):
    cx, cy = 120, 78
    screen = ring(rrect(cx, cy, 56, 36, 6), 7)
    play = polygon([(cx - 13, cy - 18), (cx - 13, cy + 18), (cx + 19, cy)])
    stand = union(seg(cx, cy + 40, cx, cy + 50, 6), seg(cx - 24, cy + 52, cx + 24, cy + 52, 6))
    colour = vertical((255, 226, 120), (255, 150, 40), 40, 130, 1.0) if on else GREY
    c.paint(union(screen, play, stand), colour, (50, 30, 190, 140))
    if not on:
        slash(c, (cx - 46, cy - 40, cx + 46, cy + 44))


def centre_picture(draw, on):
    c = Canvas(240, 180)
    panel(c, 30)
    draw(c, on)
    state_label(c, on, 144, 20)
    return c


# ---- level bar --------------------------------------------------------------

BAR_W, BAR_H = 496, 90
TRACK_X0, TRACK_X1, TRACK_CY, CAP_W, CAP_RY = 96, 480, 50, 13, 16
TRACK = ellipse_ends(TRACK_X0, TRACK_X1, TRACK_CY, CAP_W, CAP_RY)


def fill_colour(x, y):
    t = min(1.0, max(0.0, (y - 34) / 32))
    base = tuple(ACCENT_TOP[i] + (ACCENT_BOTTOM[i] - ACCENT_TOP[i]) * t for i in range(3))
    if y < 46:  # gloss on the upper third
        base = tuple(v + (255 - v) * 0.35 * (1 - (y - 34) / 12) for v in base)
    return base + (1.0,)


def bar_base():
    c = Canvas(BAR_W, BAR_H)
    panel(c, 22)
    c.paint(seg(84, 22, 84, 68, 1.5), (255, 255, 255, 0.12))  # between icon and track
    c.paint(TRACK, (0, 0, 0, 0.55), (90, 30, 486, 70))
    c.paint(ring(TRACK, 1.2), (255, 255, 255, 0.10), (90, 30, 486, 70))
    return c


def bar_fill():
    # The track drawn full and nothing else: it is always drawn over the base,
    # so the panel around it is left to the base and never drawn twice.
    c = Canvas(BAR_W, BAR_H)
    c.paint(TRACK, fill_colour, (90, 30, 486, 70))
    return c


def bar_cap():
    c = Canvas(CAP_W, 32)
    c.paint(half_ellipse(0, 16, CAP_W, CAP_RY), lambda x, y: fill_colour(x, y + 34))
    return c


def speaker(c, cx, cy, colour):
    body = union(rrect(cx - 14, cy, 6, 8, 2), polygon([(cx - 10, cy - 8), (cx + 2, cy - 18), (cx + 2, cy + 18), (cx - 10, cy + 8)]))
    c.paint(body, colour)


def icon_volume():
    c = Canvas(60, 60)
    speaker(c, 26, 30, WHITE)
    c.paint(union(arc(28, 30, 11, 4, 300, 60), arc(28, 30, 20, 4, 300, 60)), WHITE)
    return c


def icon_muted():
    c = Canvas(60, 60)
    speaker(c, 26, 30, GREY)
    c.paint(union(seg(36, 21, 52, 39, 5), seg(52, 21, 36, 39, 5)), RED)
    return c


def icon_bright():
    c = Canvas(60, 60)
    c.paint(circle(30, 30, 10), (255, 214, 90, 1.0))
    rays = [seg(30 + 15 * math.cos(math.radians(a)), 30 + 15 * math.sin(math.radians(a)),
                30 + 23 * math.cos(math.radians(a)), 30 + 23 * math.sin(math.radians(a)), 4.5) for a in range(0, 360, 45)]
    c.paint(union(*rays), (255, 214, 90, 1.0))
    return c


def main(out):
    for name, draw in DEVICES.items():
        for on in (True, False):
            device_icon(draw, on).png(os.path.join(out, "ICON", f"{name}_{'Enable' if on else 'Disable'}.png"))
    for name, draw in (("Turbo", turbo), ("TheaterMode", theater)):
        for on in (True, False):
            centre_picture(draw, on).png(os.path.join(out, "Center", f"{name}_{'Enable' if on else 'Disable'}.png"))
    oem = os.path.join(out, "OEM")
    bar_base().png(os.path.join(oem, "M_Main.png"))
    bar_fill().png(os.path.join(oem, "M_Down.png"))
    bar_cap().png(os.path.join(oem, "Bar-R.png"))
    icon_volume().png(os.path.join(oem, "MI_Vol.png"))
    icon_muted().png(os.path.join(oem, "MI_VolM.png"))
    icon_bright().png(os.path.join(oem, "MI_Bright.png"))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join("data", "Image"))
