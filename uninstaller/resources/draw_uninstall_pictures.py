#!/usr/bin/env python3
"""Draws the uninstaller's window pictures at the sizes the windows lay
themselves out by: light buttons (the program writes their captions), the
blue title bar with its white glyphs, the product's icon and title, the
progress bar's track and fill, and the question and exclamation marks.
Writes the PNG files into the output folder and the compiled table of them
(registered as "res/" + name).
usage: draw_uninstall_pictures.py OUTDIR TABLE.cpp"""
import os
import sys

sys.dont_write_bytecode = True  # nothing cached beside the sources
sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "guiframework", "resources"))
import art  # noqa: E402  (the drawing kit shared with the framework's skins)
import pack_resources  # noqa: E402

# (file name, width, height), in table order.
PICTURES = [
    ("button_click.png", 74, 32), ("button_hover.png", 74, 32), ("button_normal.png", 74, 32),
    ("hover_close.png", 28, 20), ("normal_close.png", 28, 20), ("press_close.png", 28, 20),
    ("button_foucs.png", 74, 32), ("edit_bk.png", 77, 24), ("button_disable.png", 74, 32),
    ("min_normal.png", 24, 20), ("min_hover.png", 24, 20), ("title_bg.png", 328, 31),
    ("xiezai_icon.png", 16, 18), ("xiezai_inbar.png", 446, 11), ("xiezai_inbar_color.png", 146, 10),
    ("xiezai_qustion.png", 34, 36), ("xiezai_tanhao.png", 34, 36), ("xiezai_txt.png", 73, 14),
    ("min_press.png", 24, 20),
]
OPAQUE = {"title_bg.png"}
WHITE = (0xFF, 0xFF, 0xFF)
TITLE_TOP, TITLE_BOTTOM = (0x2F, 0x93, 0xEC), (0x1A, 0x76, 0xD2)


def picture(name, width, height):
    stem = name[:-4]
    state = art.state_of(stem)
    c = art.Canvas(width, height)
    if stem.startswith("button_"):
        art.button(c, state)
    elif stem.endswith("_close"):
        art.title_close(c, state, 4)
    elif stem.startswith("min_"):
        art.title_minimise(c, state, 4.5)
    elif stem == "edit_bk":
        box = art.sd_round_rect(0, 0, width, height, 2.5)
        c.fill(box, WHITE)
        c.fill(art.sd_ring(box, 1.0), (0xC5, 0xCB, 0xD2))
    elif stem == "title_bg":
        c.fill(art.sd_round_rect(0, 0, width, height, 0), art.vertical(TITLE_TOP, TITLE_BOTTOM, 0, height))
    elif stem == "xiezai_icon":
        art.app_icon(c, WHITE, TITLE_BOTTOM, y0=1.0, size=16)
    elif stem == "xiezai_inbar":
        track = art.sd_round_rect(0, 0, width, height, 3)
        c.fill(track, (0xE4, 0xE8, 0xED))
        c.fill(art.sd_ring(track, 1.0), (0xD3, 0xD8, 0xDF))
    elif stem == "xiezai_inbar_color":
        # Square on the left (that column is stretched), round on the right.
        c.fill(art.sd_round_rect(-4, 0, width, height, 3), art.vertical((0x4F, 0xA8, 0xF5), (0x1C, 0x7E, 0xDE), 0, height))
    elif stem == "xiezai_qustion":
        art.round_mark(c, (0x1E, 0x88, 0xE5), "?", r=16)
    elif stem == "xiezai_tanhao":
        art.round_mark(c, (0xF0, 0x8C, 0x1A), "!", r=16)
    elif stem == "xiezai_txt":
        c.text_at("TqNelu 卸载", 12, WHITE, 0, height / 2.0)
    else:
        raise SystemExit("draw_uninstall_pictures.py: no drawing for " + name)
    return c.png(alpha=name not in OPAQUE)


def main():
    out, table = sys.argv[1], sys.argv[2]
    os.makedirs(out, exist_ok=True)
    files = []
    for name, width, height in PICTURES:
        path = os.path.join(out, name)
        data = picture(name, width, height)
        if not os.path.exists(path) or open(path, "rb").read() != data:
            with open(path, "wb") as f:
                f.write(data)
        files.append(path)
    pack_resources.pack(table, "registerUninstallResourceTable", "res/", files)


if __name__ == "__main__":
    main()
