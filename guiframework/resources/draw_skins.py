#!/usr/bin/env python3
"""Draws the framework's skin pictures: flat, distinct colours with a darker
1-px edge, so a test can tell pictures and their edges apart. The shadow is
a nine-zone picture (12-px corners, edges and a clear middle) so that
nine-grid drawing can be checked zone by zone. Writes the PNG files into the
output folder and, given a source path, the compiled table of them
(registered as "theme/gui/" + name). Only zlib is used.
usage: draw_skins.py OUTDIR [TABLE.cpp]"""
import colorsys
import os
import struct
import sys
import zlib

# (file name, width, height), in table order.
SKINS = [
    ("btn_4word_hover.png", 60, 20), ("btn_4word_normal.png", 60, 20), ("btn_4word_pushed.png", 60, 20),
    ("button_disable.png", 15, 22), ("button_focus.png", 15, 22), ("button_hover.png", 15, 22),
    ("button_normal.png", 15, 22), ("button_pressdown.png", 15, 22),
    ("checkbox_default_disable.png", 15, 15), ("checkbox_default_hover.png", 16, 16),
    ("checkbox_default_normal.png", 16, 16), ("checkbox_default_pressdown.png", 16, 16),
    ("checkbox_selected_disable.png", 15, 15), ("checkbox_selected_hover.png", 16, 16),
    ("checkbox_selected_normal.png", 16, 16), ("checkbox_selected_pressdown.png", 16, 16),
    ("checkbox_normal.png", 14, 14), ("checkbox_selected.png", 14, 14),
    ("close_down.png", 44, 22), ("close_hover.png", 44, 22), ("close_normal.png", 44, 22),
    ("edit_disable.png", 22, 22), ("edit_focus.png", 22, 22), ("edit_hover.png", 22, 22),
    ("edit_normal.png", 22, 22), ("edit_pressdown.png", 22, 22),
    ("head.png", 40, 40),
    ("icon_background_hover.png", 20, 20), ("icon_background_pressdown.png", 20, 20),
    ("icon_notice.png", 16, 16),
    ("mask_dialog.png", 225, 225), ("mask_mainframe.png", 210, 510), ("mask_popup.png", 150, 150),
    ("max_down.png", 28, 22), ("max_hover.png", 28, 22), ("max_normal.png", 28, 22),
    ("min_down.png", 28, 22), ("min_hover.png", 28, 22), ("min_normal.png", 28, 22),
    ("restore_down.png", 28, 22), ("restore_hover.png", 28, 22), ("restore_normal.png", 28, 22),
    ("shadow.png", 60, 60), ("icon.png", 16, 16),
    ("slider_hover.png", 12, 21), ("scroll_bk.png", 12, 12), ("slider_pressdown.png", 12, 21),
    ("slider_normal.png", 12, 21),
]

# The shadow's zones (RGBA): 12-px corners, edges, and a clear middle.
SHADOW_MARGIN = 12
SHADOW_CORNER = (0x30, 0x30, 0x90, 0xC0)
SHADOW_EDGE = (0x30, 0x90, 0x30, 0x80)
SHADOW_MIDDLE = (0, 0, 0, 0)


def png(width, height, rows, alpha):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def flat(index, width, height, alpha):
    r, g, b = (int(c * 255) for c in colorsys.hsv_to_rgb((index * 0.618034) % 1.0, 0.55, 0.85))
    edge = (r * 2 // 3, g * 2 // 3, b * 2 // 3)
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            on_edge = x in (0, width - 1) or y in (0, height - 1)
            row += edge if on_edge else (r, g, b)
            if alpha:
                row.append(255)
        rows.append(row)
    return rows


def shadow(width, height):
    m = SHADOW_MARGIN
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            inner_x = m <= x < width - m
            inner_y = m <= y < height - m
            if inner_x and inner_y:
                row += SHADOW_MIDDLE
            elif inner_x or inner_y:
                row += SHADOW_EDGE
            else:
                row += SHADOW_CORNER
        rows.append(row)
    return rows


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for index, (name, width, height) in enumerate(SKINS):
        alpha = name != "head.png"
        rows = shadow(width, height) if name == "shadow.png" else flat(index, width, height, alpha)
        with open(os.path.join(out, name), "wb") as f:
            f.write(png(width, height, rows, alpha))
    if len(sys.argv) > 2:
        sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
        import pack_resources
        files = [os.path.join(out, name) for name, _, _ in SKINS]
        pack_resources.pack(sys.argv[2], "kqRegisterFrameworkResourceTable", "theme/gui/", files)


if __name__ == "__main__":
    main()
