#!/usr/bin/env python3
"""Draws the installer's built-in pictures and writes its licence text, then
packs the 34 files, in their fixed order, into a compiled table registered
as "res/" + name by registerSetupResources(). Only zlib is used.
usage: draw_setup_resources.py OUTDIR TABLE.cpp PACKER_DIR"""
import os
import struct
import sys
import zlib

# (file name, width, height, fill RGBA, edge RGBA or None), in table order.
BLUE = (0x2D, 0x8C, 0xF0, 255)
BLUE_LIGHT = (0x5A, 0xA8, 0xF8, 255)
BLUE_DARK = (0x1C, 0x6A, 0xC0, 255)
GREY = (0xC8, 0xC8, 0xC8, 255)
WHITE = (0xFF, 0xFF, 0xFF, 255)
EDGE = (0xB0, 0xB0, 0xB0, 255)
PICTURES = [
    ("licence_bk.png", 20, 20, WHITE, EDGE),
    ("edit_bk.png", 20, 20, WHITE, EDGE),
    ("button_click.png", 70, 28, BLUE_DARK, None),
    ("button_hover.png", 70, 28, BLUE_LIGHT, None),
    ("button_normal.png", 70, 28, BLUE, None),
    ("button_disable.png", 70, 28, GREY, None),
    ("button_foucs.png", 70, 28, BLUE, BLUE_DARK),
    ("hover_close.png", 28, 22, (0xE8, 0x4C, 0x3D, 255), "x"),
    ("normal_close.png", 28, 22, (0, 0, 0, 0), "x"),
    ("press_close.png", 28, 22, (0xC0, 0x39, 0x2B, 255), "x"),
    ("licence.txt", 0, 0, None, None),
    ("min_press.png", 28, 22, BLUE_DARK, "-"),
    ("min_normal.png", 28, 22, (0, 0, 0, 0), "-"),
    ("min_hover.png", 28, 22, BLUE_LIGHT, "-"),
    ("title_bg.png", 20, 32, BLUE, None),
    ("anz_ct.png", 20, 20, (0xF6, 0xF6, 0xF6, 255), None),
    ("anz_finish.png", 100, 32, BLUE, None),
    ("anz_finish_hover.png", 100, 32, BLUE_LIGHT, None),
    ("anz_finish_click.png", 100, 32, BLUE_DARK, None),
    ("anz_icon.png", 16, 16, (0xF3, 0x9C, 0x12, 255), WHITE),
    ("anz_inbar.png", 20, 12, (0xE0, 0xE0, 0xE0, 255), EDGE),
    ("anz_inbar_color.png", 20, 12, (0x27, 0xAE, 0x60, 255), None),
    ("anz_next.png", 100, 32, BLUE, None),
    ("anz_next_hover.png", 100, 32, BLUE_LIGHT, None),
    ("anz_next_click.png", 100, 32, BLUE_DARK, None),
    ("anz_text.png", 120, 24, (0xFF, 0xFF, 0xFF, 200), None),
    ("anz_zy.png", 40, 4, (0xF3, 0x9C, 0x12, 255), None),
    ("separate_line.png", 470, 1, (0xDD, 0xDD, 0xDD, 255), None),
    ("shadow.png", 60, 60, None, None),
    ("warning.png", 32, 32, (0xF3, 0x9C, 0x12, 255), "!"),
    ("question.png", 32, 32, BLUE, "?"),
    ("anz_return.png", 100, 32, GREY, None),
    ("anz_return_hover.png", 100, 32, (0xD8, 0xD8, 0xD8, 255), None),
    ("anz_return_click.png", 100, 32, (0xB0, 0xB0, 0xB0, 255), None),
]

LICENCE = """TqNelu 最终用户协议 / TqNelu End-User Agreement

1. 本软件由 TqSorva 项目组提供。安装、复制或使用本软件即表示您同意本协议。
   This software is provided by the TqSorva project. Installing, copying or
   using it means that you accept this agreement.

2. 您可以在自己的计算机上安装和使用本软件，用于个人或商业的视频通话与录制。
   You may install and use the software on your own computers for personal or
   business video calls and recordings.

3. 您不得对本软件进行反向工程、反编译或拆卸，法律明确允许的情形除外。
   You may not reverse engineer, decompile or disassemble the software except
   where the law expressly allows it.

4. 本软件按"现状"提供，不附带任何明示或暗示的担保。在法律允许的最大范围内，
   项目组不对因使用或无法使用本软件而造成的任何损失承担责任。
   The software is provided "as is", without warranty of any kind. To the
   extent the law allows, the project is not liable for any loss arising from
   the use of, or the inability to use, the software.

5. 本软件会在安装时生成一个机器标识，用于统计安装次数；其中不含您的个人资料。
   The installer creates a machine identifier used to count installs; it
   holds none of your personal data.

6. 如您不同意本协议的任何条款，请不要安装或使用本软件。
   If you do not accept any term of this agreement, do not install or use the
   software.
"""


def png(width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def glyph_on(mark, x, y, width, height):
    """Whether the pixel belongs to the small mark drawn in the middle."""
    cx, cy = width // 2, height // 2
    dx, dy = x - cx, y - cy
    if mark == "x":
        return abs(dx) <= 4 and abs(dy) <= 4 and abs(abs(dx) - abs(dy)) <= 0
    if mark == "-":
        return abs(dx) <= 4 and dy == 0
    if mark == "!":
        return abs(dx) <= 1 and (-9 <= dy <= 3 or 6 <= dy <= 8)
    if mark == "?":
        ring = 4 <= (dx * dx + (dy + 4) ** 2) ** 0.5 <= 6 and not (dx < 0 and dy > -4)
        return ring or (abs(dx) <= 1 and (0 <= dy <= 3 or 6 <= dy <= 8))
    return False


def picture(width, height, fill, edge):
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            on_edge = x in (0, width - 1) or y in (0, height - 1)
            if isinstance(edge, str):
                colour = WHITE if glyph_on(edge, x, y, width, height) else fill
                if fill[3] == 0 and colour == WHITE:
                    colour = (0xFF, 0xFF, 0xFF, 255)
            elif edge is not None and on_edge:
                colour = edge
            else:
                colour = fill
            row += colour
        rows.append(row)
    return rows


def shadow(width, height):
    """A soft ring: alpha falls off over the 12-px margin, clear middle."""
    margin = 12
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            depth = min(x, y, width - 1 - x, height - 1 - y)
            alpha = 0 if depth >= margin else 8 + depth * 6
            row += (0, 0, 0, alpha)
        rows.append(row)
    return rows


def main():
    out, table, packer = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(out, exist_ok=True)
    files = []
    for name, width, height, fill, edge in PICTURES:
        path = os.path.join(out, name)
        if name == "licence.txt":
            data = LICENCE.encode("utf-8")
        elif name == "shadow.png":
            data = png(width, height, shadow(width, height))
        else:
            data = png(width, height, picture(width, height, fill, edge))
        with open(path, "wb") as f:
            f.write(data)
        files.append(path)
    sys.path.insert(0, packer)
    import pack_resources
    pack_resources.pack(table, "registerSetupResources", "res/", files)


if __name__ == "__main__":
    main()
