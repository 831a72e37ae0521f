#!/usr/bin/env python3
"""Draws the product's placeholder picture: a 320x240 RGB PNG (8-bit channels,
no alpha) shown while no live source runs. Written at build time so no binary
is kept in the tree. Usage: make_placeholder_png.py OUT.png"""
import struct
import sys
import zlib

W, H = 320, 240

# 5x7 glyphs for the caption.
GLYPHS = {
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'q': ["00000", "00000", "01111", "10001", "01111", "00001", "00001"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'e': ["00000", "00000", "01110", "10001", "11111", "10000", "01110"],
    'l': ["01100", "00100", "00100", "00100", "00100", "00100", "01110"],
    'u': ["00000", "00000", "10001", "10001", "10001", "10011", "01101"],
}


def background(x, y):
    # Deep blue to teal, top to bottom, with a soft vignette.
    t = y / (H - 1)
    dx, dy = (x - W / 2) / (W / 2), (y - H / 2) / (H / 2)
    shade = max(0.55, 1.0 - 0.35 * (dx * dx + dy * dy))
    r = (18 + 10 * t) * shade
    g = (32 + 90 * t) * shade
    b = (84 + 60 * t) * shade
    return [int(r), int(g), int(b)]


def draw():
    px = [[background(x, y) for x in range(W)] for y in range(H)]

    def fill_rect(x0, y0, x1, y1, colour):
        for y in range(max(0, y0), min(H, y1)):
            for x in range(max(0, x0), min(W, x1)):
                px[y][x] = list(colour)

    def fill_circle(cx, cy, radius, colour):
        for y in range(cy - radius, cy + radius + 1):
            for x in range(cx - radius, cx + radius + 1):
                if 0 <= x < W and 0 <= y < H and (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius:
                    px[y][x] = list(colour)

    # A camera: body, lens rings, viewfinder.
    white, dark, lens = (236, 240, 245), (30, 44, 70), (70, 150, 220)
    fill_rect(104, 64, 216, 140, white)
    fill_rect(124, 52, 156, 64, white)
    fill_circle(160, 102, 30, dark)
    fill_circle(160, 102, 22, lens)
    fill_circle(160, 102, 10, dark)
    fill_circle(152, 94, 4, white)
    fill_rect(196, 72, 208, 80, (250, 80, 80))

    # Caption "TqNelu", each glyph pixel a 4x4 block.
    text, scale = "TqNelu", 4
    width = len(text) * 6 * scale - scale
    x = (W - width) // 2
    for ch in text:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == '1':
                    fill_rect(x + col * scale, 168 + row * scale, x + (col + 1) * scale, 168 + (row + 1) * scale, white)
        x += 6 * scale
    return px


def write_png(path, px):
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", W, H, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    write_png(sys.argv[1], draw())
