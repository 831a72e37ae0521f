#!/usr/bin/env python3
"""Draws the framework's skin pictures as the finished look: light buttons
and edit boxes with thin edges, check boxes with a tick when checked, a
scroll bar's track and thumb, the title-bar glyphs and a soft window shadow
(its 12-px nine-grid middle clear). Writes the PNG files into the output
folder and, given a source path, the compiled table of them (registered as
"theme/gui/" + name).
usage: draw_skins.py OUTDIR [TABLE.cpp]"""
import os
import sys

sys.dont_write_bytecode = True  # nothing cached beside the sources
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import art  # noqa: E402

png = art.png  # the writer other drawers share

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


def skin(name, width, height):
    c = art.Canvas(width, height)
    stem = name[:-4]
    states = {"normal": "normal", "hover": "hover", "pushed": "pressed", "pressdown": "pressed", "down": "pressed",
              "disable": "disabled", "focus": "focus"}
    state = states.get(stem.rsplit("_", 1)[-1], "normal")
    if stem.startswith("btn_4word_") or stem.startswith("button_"):
        art.button(c, state)
    elif stem.startswith("checkbox_"):
        art.check_box(c, "selected" in stem, "normal" if state == "focus" else state)
    elif stem.startswith(("close_", "max_", "min_", "restore_")):
        glyph = (0x44, 0x4B, 0x55)
        if stem.startswith("close_") and state != "normal":
            c.fill(art.sd_round_rect(0, 0, width, height, 0), (0xE8, 0x11, 0x23) if state == "hover" else (0xBF, 0x0E, 0x1D))
            glyph = (0xFF, 0xFF, 0xFF)
        elif state != "normal":
            c.fill(art.sd_round_rect(0, 0, width, height, 0), (0, 0, 0, 0x1C if state == "hover" else 0x34))
        cx, cy = width / 2.0, height / 2.0
        if stem.startswith("close_"):
            art.cross(c, glyph, 4.5)
        elif stem.startswith("min_"):
            art.dash(c, glyph, 5, cy=cy + 0.5)
        elif stem.startswith("max_"):
            c.fill(art.sd_ring(art.sd_round_rect(cx - 5, cy - 5, cx + 5, cy + 5, 0.5), 1.2), glyph)
        else:
            # Two overlapping windows: the back one's outline shows only outside the front one.
            back = art.sd_round_rect(cx - 2.5, cy - 5, cx + 5, cy + 2.5, 0.5)
            front = art.sd_round_rect(cx - 5, cy - 2.5, cx + 2.5, cy + 5, 0.5)
            c.fill(art.sd_minus(art.sd_ring(back, 1.2), front), glyph)
            c.fill(art.sd_ring(front, 1.2), glyph)
    elif stem.startswith("edit_"):
        faces = {"normal": ((0xFF, 0xFF, 0xFF), (0xC5, 0xCB, 0xD2)), "hover": ((0xFF, 0xFF, 0xFF), (0x86, 0xB7, 0xEA)),
                 "pressed": ((0xF7, 0xFA, 0xFD), (0x3F, 0x86, 0xD0)), "focus": ((0xE4, 0xF0, 0xFD), (0x1E, 0x88, 0xE5)),
                 "disabled": ((0xF1, 0xF2, 0xF4), (0xD5, 0xD9, 0xDE))}
        face, edge = faces[state]
        box = art.sd_round_rect(0, 0, width, height, 2.5)
        c.fill(box, face)
        c.fill(art.sd_ring(box, 1.0), edge)
    elif stem == "head":
        c.fill(art.sd_round_rect(0, 0, width, height, 0), art.vertical((0xD7, 0xE6, 0xF5), (0xB7, 0xCD, 0xE6), 0, height))
        c.fill(art.sd_circle(width / 2.0, height * 0.38, width * 0.18), (0xFF, 0xFF, 0xFF, 0xF0))
        c.fill(art.sd_round_rect(width * 0.18, height * 0.62, width * 0.82, height * 1.2, width * 0.3), (0xFF, 0xFF, 0xFF, 0xF0))
    elif stem.startswith("icon_background_"):
        c.fill(art.sd_round_rect(0, 0, width, height, 3), (0, 0, 0, 0x1C if state == "hover" else 0x34))
    elif stem == "icon_notice":
        art.round_mark(c, (0xF0, 0x8C, 0x1A), "!")
    elif stem.startswith("mask_"):
        c.fill(art.sd_round_rect(0, 0, width, height, 6), (0xFF, 0xFF, 0xFF))
    elif stem == "shadow":
        art.soft_shadow(c, 5, 6, 0.30)
    elif stem == "icon":
        art.app_icon(c, (0x1E, 0x88, 0xE5), (0xFF, 0xFF, 0xFF))
    elif stem.startswith("slider_"):
        shades = {"normal": (0xC1, 0xC6, 0xCD), "hover": (0xA4, 0xAB, 0xB5), "pressed": (0x88, 0x90, 0x9B)}
        c.fill(art.sd_round_rect(3, 1, width - 3, height - 1, 3), shades[state])
    elif stem == "scroll_bk":
        c.fill(art.sd_round_rect(0, 0, width, height, 0), (0xF0, 0xF1, 0xF3))
    else:
        raise SystemExit("draw_skins.py: no drawing for " + name)
    return c.png(alpha=name != "head.png")


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, width, height in SKINS:
        data = skin(name, width, height)
        path = os.path.join(out, name)
        if not os.path.exists(path) or open(path, "rb").read() != data:
            with open(path, "wb") as f:
                f.write(data)
    if len(sys.argv) > 2:
        import pack_resources
        files = [os.path.join(out, name) for name, _, _ in SKINS]
        pack_resources.pack(sys.argv[2], "kqRegisterFrameworkResourceTable", "theme/gui/", files)


if __name__ == "__main__":
    main()
