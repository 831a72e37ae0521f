#!/usr/bin/env python3
"""Writes the placeholder picture as raw RGB24 rows, bottom row first, blue
first in each pixel: the exact picture the camera must deliver at 320x240.
Usage: make_reference.py PLACEHOLDER_SCRIPT_DIR OUT.bgr"""
import sys

sys.path.insert(0, sys.argv[1])
import make_placeholder_png  # noqa: E402

px = make_placeholder_png.draw()
with open(sys.argv[2], "wb") as f:
    for row in reversed(px):
        f.write(bytes(v for p in row for v in reversed(p)))
