#!/usr/bin/env python3
"""Draws the installer's built-in pictures and writes its licence text, then
packs the 34 files, in their fixed order, into a compiled table registered
as "res/" + name by registerSetupResources(). The drawing kit and the packer
live with the framework's skins (PACKER_DIR).
usage: draw_setup_resources.py OUTDIR TABLE.cpp PACKER_DIR"""
import os
import sys

sys.dont_write_bytecode = True  # nothing cached beside the sources
sys.path.insert(0, sys.argv[3] if len(sys.argv) > 3 else
                os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "guiframework", "resources"))
import art  # noqa: E402

# (file name, width, height), in table order; the licence text has no size.
PICTURES = [
    ("licence_bk.png", 20, 20), ("edit_bk.png", 20, 20),
    ("button_click.png", 70, 28), ("button_hover.png", 70, 28), ("button_normal.png", 70, 28),
    ("button_disable.png", 70, 28), ("button_foucs.png", 70, 28),
    ("hover_close.png", 28, 22), ("normal_close.png", 28, 22), ("press_close.png", 28, 22),
    ("licence.txt", 0, 0),
    ("min_press.png", 28, 22), ("min_normal.png", 28, 22), ("min_hover.png", 28, 22),
    ("title_bg.png", 500, 32), ("anz_ct.png", 500, 223),
    ("anz_finish.png", 100, 32), ("anz_finish_hover.png", 100, 32), ("anz_finish_click.png", 100, 32),
    ("anz_icon.png", 16, 16), ("anz_inbar.png", 20, 12), ("anz_inbar_color.png", 20, 12),
    ("anz_next.png", 100, 32), ("anz_next_hover.png", 100, 32), ("anz_next_click.png", 100, 32),
    ("anz_text.png", 120, 24), ("anz_zy.png", 40, 4), ("separate_line.png", 470, 1), ("shadow.png", 60, 60),
    ("warning.png", 32, 32), ("question.png", 32, 32),
    ("anz_return.png", 100, 32), ("anz_return_hover.png", 100, 32), ("anz_return_click.png", 100, 32),
]

# The wizard's own buttons carry their captions in the picture.
CAPTIONS = {"anz_next": "下一步", "anz_finish": "完成", "anz_return": "上一步"}
TITLE_TOP, TITLE_BOTTOM = (0x2F, 0x93, 0xEC), (0x1A, 0x76, 0xD2)
WHITE = (0xFF, 0xFF, 0xFF)

LICENCE = """TqNelu 最终用户协议 / TqNelu End-User Agreement

1. 本软件由 TqSorva 项目组提供。安装、复制或使用本软件
   即表示您同意本协议。
   This software is provided by the TqSorva project.
   Installing, copying or using it means that you accept
   this agreement.

2. 您可以在自己的计算机上安装和使用本软件，用于个人或
   商业的视频通话与录制。
   You may install and use the software on your own
   computers for personal or business video calls and
   recordings.

3. 您不得对本软件进行反向工程、反编译或拆卸，法律明确
   允许的情形除外。
   You may not reverse engineer, decompile or disassemble
   the software except where the law expressly allows it.

4. 本软件按"现状"提供，不附带任何明示或暗示的担保。在法律
   允许的最大范围内，项目组不对因使用或无法使用本软件而
   造成的任何损失承担责任。
   The software is provided "as is", without warranty of
   any kind. To the extent the law allows, the project is
   not liable for any loss arising from the use of, or the
   inability to use, the software.

5. 本软件会在安装时生成一个机器标识，用于统计安装次数；
   其中不含您的个人资料。
   The installer creates a machine identifier used to count
   installs; it holds none of your personal data.

6. 如您不同意本协议的任何条款，请不要安装或使用本软件。
   If you do not accept any term of this agreement, do not
   install or use the software.
"""


def picture(name, width, height):
    stem = name[:-4]
    state = art.state_of(stem)
    c = art.Canvas(width, height)
    if stem.startswith("button_"):
        art.button(c, state)
    elif stem in ("licence_bk", "edit_bk"):
        box = art.sd_round_rect(0, 0, width, height, 2.5)
        c.fill(box, WHITE)
        c.fill(art.sd_ring(box, 1.0), (0xD2, 0xD7, 0xDD))
    elif stem.endswith("_close"):
        art.title_close(c, state, 4.5)
    elif stem.startswith("min_"):
        art.title_minimise(c, state, 5)
    elif stem == "title_bg":
        c.fill(art.sd_round_rect(0, 0, width, height, 0), art.vertical(TITLE_TOP, TITLE_BOTTOM, 0, height))
    elif stem == "anz_ct":
        c.fill(art.sd_round_rect(0, 0, width, height, 0), WHITE)
    elif stem.split("_")[0:2] in (["anz", "next"], ["anz", "finish"], ["anz", "return"]):
        key = "_".join(stem.split("_")[0:2])
        primary = key != "anz_return"
        art.button(c, state, radius=4, primary=primary)
        ink = WHITE if primary else (0x33, 0x39, 0x40)
        dy = 1 if state == "pressed" else 0
        c.text(CAPTIONS[key], 14, ink, width / 2.0, height / 2.0 + dy)
    elif stem == "anz_icon":
        art.app_icon(c, WHITE, TITLE_BOTTOM)
    elif stem == "anz_inbar":
        track = art.sd_round_rect(0, 0, width, height, 3)
        c.fill(track, (0xE4, 0xE8, 0xED))
        c.fill(art.sd_ring(track, 1.0), (0xD3, 0xD8, 0xDF))
    elif stem == "anz_inbar_color":
        # Square on the left (that column is stretched), round on the right.
        c.fill(art.sd_round_rect(-4, 0, width, height, 3), art.vertical((0x4F, 0xA8, 0xF5), (0x1C, 0x7E, 0xDE), 0, height))
    elif stem == "anz_text":
        c.text_at("TqNelu 安装向导", 15, WHITE, 0, height / 2.0)
    elif stem == "anz_zy":
        c.fill(art.sd_round_rect(0, 0, width, height, 2), (0x1E, 0x88, 0xE5))
    elif stem == "separate_line":
        c.fill(art.sd_round_rect(0, 0, width, height, 0), (0xE1, 0xE5, 0xEA))
    elif stem == "shadow":
        art.soft_shadow(c, 5, 6, 0.30)
    elif stem == "warning":
        art.round_mark(c, (0xF0, 0x8C, 0x1A), "!")
    elif stem == "question":
        art.round_mark(c, (0x1E, 0x88, 0xE5), "?")
    else:
        raise SystemExit("draw_setup_resources.py: no drawing for " + name)
    return c.png()


def main():
    out, table, packer = sys.argv[1], sys.argv[2], sys.argv[3]
    os.makedirs(out, exist_ok=True)
    files = []
    for name, width, height in PICTURES:
        path = os.path.join(out, name)
        data = LICENCE.encode("utf-8") if name == "licence.txt" else picture(name, width, height)
        if not os.path.exists(path) or open(path, "rb").read() != data:
            with open(path, "wb") as f:
                f.write(data)
        files.append(path)
    import pack_resources
    pack_resources.pack(table, "registerSetupResources", "res/", files)


if __name__ == "__main__":
    main()
