#!/usr/bin/env python3
"""Draws the uninstaller's window pictures: flat fills with a darker 1-px
edge (the bar's fill and the title bar get their own colours), at the sizes
the windows lay themselves out by. Writes the PNG files into the output
folder and the compiled table of them (registered as "res/" + name).
Only zlib is used.
usage: draw_uninstall_pictures.py OUTDIR TABLE.cpp"""
import os
import sys

sys.dont_write_bytecode = True  # nothing cached beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "guiframework", "resources"))
import draw_skins  # noqa: E402  (its PNG writer)
import pack_resources  # noqa: E402

# (file name, width, height, fill RGB), in table order.
PICTURES = [
    ("button_click.png", 74, 32, (200, 200, 200)),
    ("button_hover.png", 74, 32, (236, 236, 236)),
    ("button_normal.png", 74, 32, (224, 224, 224)),
    ("hover_close.png", 28, 20, (232, 96, 80)),
    ("normal_close.png", 28, 20, (90, 150, 210)),
    ("press_close.png", 28, 20, (190, 60, 50)),
    ("button_foucs.png", 74, 32, (214, 228, 244)),
    ("edit_bk.png", 77, 24, (255, 255, 255)),
    ("button_disable.png", 74, 32, (240, 240, 240)),
    ("min_normal.png", 24, 20, (90, 150, 210)),
    ("min_hover.png", 24, 20, (120, 176, 230)),
    ("title_bg.png", 328, 31, (70, 130, 200)),
    ("xiezai_icon.png", 16, 18, (250, 200, 60)),
    ("xiezai_inbar.png", 446, 11, (214, 214, 214)),
    ("xiezai_inbar_color.png", 146, 10, (80, 180, 90)),
    ("xiezai_qustion.png", 34, 36, (70, 140, 220)),
    ("xiezai_tanhao.png", 34, 36, (240, 150, 40)),
    ("xiezai_txt.png", 73, 14, (255, 255, 255)),
    ("min_press.png", 24, 20, (60, 120, 180)),
]
OPAQUE = {"title_bg.png"}


def picture(width, height, fill, alpha):
    edge = tuple(c * 2 // 3 for c in fill)
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            row += edge if x in (0, width - 1) or y in (0, height - 1) else fill
            if alpha:
                row.append(255)
        rows.append(row)
    return rows


def main():
    out, table = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    files = []
    for name, width, height, fill in PICTURES:
        alpha = name not in OPAQUE
        path = os.path.join(out, name)
        data = draw_skins.png(width, height, picture(width, height, fill, alpha), alpha)
        if not os.path.exists(path) or open(path, "rb").read() != data:
            with open(path, "wb") as f:
                f.write(data)
        files.append(path)
    pack_resources.pack(table, "registerUninstallResourceTable", "res/", files)


if __name__ == "__main__":
    main()
