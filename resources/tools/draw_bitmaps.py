#!/usr/bin/env python3
"""Draws the button glyphs and skin frames as pixel text (resources/bitmaps/*.txt).

Run it again after changing a drawing; the build turns the pixel text into .bmp files
(resources/make_bitmaps.py). Shapes are sampled 4 x 4 per pixel and the coverage is quantised,
so every picture keeps a small palette that reads well in review.
"""
import math
from pathlib import Path

OUT = Path(__file__).resolve().parent.parent / "bitmaps"
CHARS = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789@$%&*+=-~^"


def mix(c1, c2, t):
    return tuple(round(a + (b - a) * t) for a, b in zip(c1, c2))


def write(name, width, height, bits, pixels, background=None, comment=""):
    """pixels: rows of (r, g, b) or (a, r, g, b) tuples; background gets the character '.'."""
    palette = {}
    rows = []
    for row in pixels:
        line = ""
        for p in row:
            if background is not None and p == background:
                palette.setdefault(p, ".")
                line += "."
                continue
            if p not in palette:
                palette[p] = CHARS[len([c for c in palette.values() if c != "."])]
            line += palette[p]
        rows.append(line)
    out = [f"# {name}: {comment}", f"size {width} {height}", f"bits {bits}"]
    for colour, ch in palette.items():
        out.append(f"colour {ch} " + "".join(f"{v:02X}" for v in colour))
    out.append("pixels")
    out += rows
    (OUT / f"{name}.txt").write_text("\n".join(out) + "\n")


def supersample(width, height, inside, levels=4):
    """Coverage 0..1 of each pixel by the shape inside(x, y), quantised to levels steps."""
    cov = []
    for y in range(height):
        row = []
        for x in range(width):
            hits = sum(inside(x + (i + 0.5) / 4, y + (j + 0.5) / 4) for i in range(4) for j in range(4))
            row.append(round(hits / 16 * levels) / levels)
        cov.append(row)
    return cov


def in_polygon(px, py, pts):
    inside = False
    for i in range(len(pts)):
        x1, y1 = pts[i]
        x2, y2 = pts[(i + 1) % len(pts)]
        if (y1 > py) != (y2 > py) and px < (x2 - x1) * (py - y1) / (y2 - y1) + x1:
            inside = not inside
    return inside


MAGENTA = (255, 0, 255)
# Edge pixels only partly covered by a shape are blended with the light grey of a caption button,
# never with the transparent magenta (which would leave a pink fringe on every background).
BUTTON_GREY = (224, 224, 224)


def star():
    cx, cy, outer, inner = 8.0, 8.4, 7.6, 3.1
    pts = []
    for k in range(10):
        r = outer if k % 2 == 0 else inner
        a = -math.pi / 2 + k * math.pi / 5
        pts.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    shrunk = [(cx + (x - cx) * 0.72, cy + (y - cy) * 0.72 + 0.15) for x, y in pts]
    body = supersample(16, 16, lambda x, y: in_polygon(x, y, pts), 2)
    core = supersample(16, 16, lambda x, y: in_polygon(x, y, shrunk), 2)
    outline, gold_dark, gold_light = (140, 86, 0), (236, 160, 0), (255, 222, 90)
    pixels = []
    for y in range(16):
        row = []
        for x in range(16):
            b, c = body[y][x], core[y][x]
            if b == 0:
                row.append(MAGENTA)
                continue
            fill = mix(gold_dark, gold_light, max(0.0, 1 - y / 12)) if c > 0 else outline
            if 0 < c < 1:
                fill = mix(outline, fill, 0.5)
            row.append(fill if b == 1 else mix(BUTTON_GREY, outline, 0.5) if c == 0 else fill)
        pixels.append(row)
    pixels = [[quant(p) for p in row] for row in pixels]
    write("LNTR_32", 16, 16, 24, pixels, MAGENTA, "Favourites glyph, a gold star; magenta (the bottom-left colour) is transparent")


def quant(p):
    if p == MAGENTA:
        return p
    return tuple(min(255, (v // 24) * 24 + 12) for v in p)


def clock():
    cx, cy = 7.5, 7.5
    rim = supersample(16, 16, lambda x, y: (x - 8) ** 2 + (y - 8) ** 2 <= 7.4 ** 2, 2)
    face = supersample(16, 16, lambda x, y: (x - 8) ** 2 + (y - 8) ** 2 <= 5.6 ** 2, 2)

    def hand(x, y, ax, ay, width):
        # distance from the segment centre -> (ax, ay)
        vx, vy = ax - 8, ay - 8
        t = max(0.0, min(1.0, ((x - 8) * vx + (y - 8) * vy) / (vx * vx + vy * vy)))
        dx, dy = x - (8 + t * vx), y - (8 + t * vy)
        return dx * dx + dy * dy <= width * width

    hands = supersample(16, 16, lambda x, y: hand(x, y, 8, 3.6, 0.75) or hand(x, y, 11.4, 9.6, 0.75), 2)
    rim_dark, rim_light, face_col, hand_col = (18, 70, 140), (70, 140, 220), (250, 250, 250), (30, 30, 30)
    pixels = []
    for y in range(16):
        row = []
        for x in range(16):
            r, f, h = rim[y][x], face[y][x], hands[y][x]
            if r == 0:
                row.append(MAGENTA)
            elif f == 0:
                row.append(mix(rim_light, rim_dark, y / 15) if r == 1 else mix(BUTTON_GREY, rim_dark, 0.5))
            else:
                base = face_col if f == 1 else mix(face_col, rim_dark, 0.5)
                row.append(hand_col if h == 1 else mix(base, hand_col, 0.5) if h > 0 else base)
        pixels.append(row)
    pixels = [[quant(p) for p in row] for row in pixels]
    write("HISTORY_VISTA", 16, 16, 24, pixels, MAGENTA, "History glyph, a clock; magenta (the bottom-left colour) is transparent")


def frame(name, top, bottom, border, pushed):
    """A 21 x 21 bevelled, rounded caption-button frame, 32 bits per pixel."""
    size = 21
    pixels = []
    for y in range(size):
        row = []
        for x in range(size):
            corner = min(x, size - 1 - x) + min(y, size - 1 - y)
            if corner == 0 or (min(x, size - 1 - x) == 0 and min(y, size - 1 - y) == 0):
                row.append((0, 0, 0, 0))
                continue
            edge = min(x, y, size - 1 - x, size - 1 - y)
            t = y / (size - 1)
            if pushed:
                t = 1 - t * 0.7
            colour = mix(top, bottom, t)
            if edge == 0 or (corner == 1):
                colour = border
            elif edge == 1:
                lit = (x < size // 2 or y < size // 2) != pushed
                colour = mix(colour, (255, 255, 255), 0.45) if lit else mix(colour, border, 0.35)
            colour = tuple(min(255, (v // 12) * 12 + 6) for v in colour)
            row.append((255,) + colour)
        pixels.append(row)
    state = "pushed" if pushed else "released"
    write(name, size, size, 32, pixels, None, f"{state} skin frame")


def main():
    OUT.mkdir(parents=True, exist_ok=True)
    star()
    clock()
    skins = {
        "BLUE": ((150, 196, 250), (40, 96, 196), (20, 50, 120)),
        "OLIVEGREEN": ((206, 222, 150), (110, 140, 60), (60, 80, 30)),
        "SILVER": ((250, 250, 252), (170, 174, 186), (100, 104, 116)),
    }
    for name, (top, bottom, border) in skins.items():
        frame(f"{name}_UP", top, bottom, border, False)
        frame(f"{name}_DOWN", mix(top, bottom, 0.35), mix(bottom, border, 0.3), border, True)


if __name__ == "__main__":
    main()
