#!/usr/bin/env python3
"""Draws the default picture mark: a 74x74 RGBA PNG (8-bit channels, straight
alpha), a rounded badge with a camera lens and "Tq", soft at the edges.
Written at build time so no binary is kept in the tree.
Usage: make_mark_png.py OUT.png"""
import math
import struct
import sys
import zlib

S = 74

GLYPHS = {
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'q': ["00000", "00000", "01111", "10001", "01111", "00001", "00001"],
}


def coverage(x, y, cx, cy, radius):
    # Anti-aliased disc coverage from the distance to the edge.
    d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
    return max(0.0, min(1.0, radius + 0.5 - d))


def draw():
    px = [[[0, 0, 0, 0] for _ in range(S)] for _ in range(S)]
    c = S / 2
    for y in range(S):
        for x in range(S):
            a = coverage(x, y, c, c, 35)
            if a <= 0:
                continue
            t = y / (S - 1)
            colour = [int(30 + 40 * t), int(110 + 70 * t), int(200 + 30 * t)]  # blue to teal
            ring = coverage(x, y, c, c - 8, 17) - coverage(x, y, c, c - 8, 12)
            lens = coverage(x, y, c, c - 8, 7)
            for k in range(3):
                colour[k] = int(colour[k] * (1 - ring) + 245 * ring)
                colour[k] = int(colour[k] * (1 - lens) + 20 * lens)
            px[y][x] = colour + [int(210 * a)]  # the badge is a little see-through

    def put(x0, y0, scale, ch):
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == '1':
                    for yy in range(y0 + row * scale, y0 + (row + 1) * scale):
                        for xx in range(x0 + col * scale, x0 + (col + 1) * scale):
                            px[yy][xx] = [255, 255, 255, 255]

    put(25, 50, 2, 'T')
    put(37, 50, 2, 'q')
    return px


def write_png(path, px):
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    ihdr = struct.pack(">IIBBBBB", S, S, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


if __name__ == "__main__":
    write_png(sys.argv[1], draw())
