#!/usr/bin/env python3
"""Turns the pixel text of resources/bitmaps/*.txt into Windows bitmap files.

A source file holds, after optional '#' comment lines:
    size W H          the bitmap's width and height in pixels
    bits 24|32        bits per pixel of the file written
    colour C RRGGBB   one line per character C used in the picture (AARRGGBB for 32 bits)
    pixels            then H rows of W characters each, top row first
"""
import struct
import sys
from pathlib import Path


def parse(path):
    width = height = None
    bits = 24
    colours = {}
    rows = []
    in_pixels = False
    for raw in Path(path).read_text().splitlines():
        if in_pixels:
            if raw.strip() == "":
                continue
            rows.append(raw.rstrip("\n"))
            continue
        line = raw.strip()
        if not line or line.startswith("#"):
            continue
        words = line.split()
        if words[0] == "size":
            width, height = int(words[1]), int(words[2])
        elif words[0] == "bits":
            bits = int(words[1])
        elif words[0] == "colour":
            value = words[2]
            if len(value) == 6:
                value = "FF" + value
            colours[words[1]] = int(value, 16)
        elif words[0] == "pixels":
            in_pixels = True
        else:
            raise SystemExit(f"{path}: unknown line {line!r}")
    if width is None or len(rows) != height or any(len(r) != width for r in rows):
        raise SystemExit(f"{path}: the picture must be {width} x {height} characters")
    if bits not in (24, 32):
        raise SystemExit(f"{path}: bits must be 24 or 32")
    for r in rows:
        for ch in r:
            if ch not in colours:
                raise SystemExit(f"{path}: no colour for {ch!r}")
    return width, height, bits, colours, rows


def bitmap_file(width, height, bits, colours, rows):
    stride = ((width * bits + 31) // 32) * 4
    body = bytearray()
    for row in reversed(rows):  # bottom-up, as BI_RGB bitmaps are stored
        line = bytearray()
        for ch in row:
            argb = colours[ch]
            a, r, g, b = (argb >> 24) & 255, (argb >> 16) & 255, (argb >> 8) & 255, argb & 255
            line += bytes((b, g, r, a)) if bits == 32 else bytes((b, g, r))
        line += bytes(stride - len(line))
        body += line
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(body), 2835, 2835, 0, 0)
    offset = 14 + len(info)
    header = struct.pack("<2sIHHI", b"BM", offset + len(body), 0, 0, offset)
    return header + info + bytes(body)


def main():
    out_dir = Path(sys.argv[1])
    out_dir.mkdir(parents=True, exist_ok=True)
    for src in sys.argv[2:]:
        data = bitmap_file(*parse(src))
        (out_dir / (Path(src).stem + ".bmp")).write_bytes(data)


if __name__ == "__main__":
    main()
