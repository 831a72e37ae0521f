#!/usr/bin/env python3
"""Fails when a saved window picture shows a colour of the old placeholder
art: the framework skins' hashed flat fills and their darker edges (the
magenta licence box among them), the shadow's blue corner and green edge
zones, and the saturated flat fills of the setup programs' first pictures.
Those colours were chosen to be told apart by tests; a finished window must
show none of them. Opaque pixels must match a fill exactly; the shadow
zones are translucent over nothing, so they match within 2 per channel.
usage: find_test_colours.py PATH...   (a PNG file, or a folder of them)"""
import colorsys
import os
import subprocess
import sys

SHADOW_ZONES = {"shadow corner (blue)": (0x30, 0x30, 0x90), "shadow edge (green)": (0x30, 0x90, 0x30)}


def opaque_test_colours():
    colours = {}
    for index in range(48):  # the framework skins: one hue per picture
        fill = tuple(int(c * 255) for c in colorsys.hsv_to_rgb((index * 0.618034) % 1.0, 0.55, 0.85))
        colours[fill] = "framework skin fill %d" % index
        colours[tuple(c * 2 // 3 for c in fill)] = "framework skin edge %d" % index
    setup_fills = [(0x2D, 0x8C, 0xF0), (0x5A, 0xA8, 0xF8), (0x1C, 0x6A, 0xC0), (0xE8, 0x4C, 0x3D), (0xC0, 0x39, 0x2B),
                   (0xF3, 0x9C, 0x12), (0x27, 0xAE, 0x60)]
    uninstall_fills = [(232, 96, 80), (90, 150, 210), (190, 60, 50), (120, 176, 230), (70, 130, 200), (250, 200, 60),
                       (80, 180, 90), (70, 140, 220), (240, 150, 40), (60, 120, 180)]
    for fill in setup_fills:
        colours[fill] = "installer placeholder fill #%02X%02X%02X" % fill
    for fill in uninstall_fills:
        colours[fill] = "uninstaller placeholder fill #%02X%02X%02X" % fill
        colours[tuple(c * 2 // 3 for c in fill)] = "uninstaller placeholder edge #%02X%02X%02X" % fill
    return colours


def pixels(path):
    size = subprocess.run(["identify", "-format", "%w %h", path], check=True, stdout=subprocess.PIPE).stdout.split()
    width, height = int(size[0]), int(size[1])
    data = subprocess.run(["convert", path, "-depth", "8", "rgba:-"], check=True, stdout=subprocess.PIPE).stdout
    if len(data) != width * height * 4:
        sys.exit("%s: could not read its pixels" % path)
    return width, height, data


def scan(path, opaque):
    width, height, data = pixels(path)
    found = {}
    for i in range(0, len(data), 4):
        r, g, b, a = data[i], data[i + 1], data[i + 2], data[i + 3]
        name = None
        if a == 255:
            name = opaque.get((r, g, b))
        elif a:
            for zone, (zr, zg, zb) in SHADOW_ZONES.items():
                if abs(r - zr) <= 2 and abs(g - zg) <= 2 and abs(b - zb) <= 2:
                    name = zone
        if name:
            count, where = found.get(name, (0, (i // 4 % width, i // 4 // width)))
            found[name] = (count + 1, where)
    return found


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    opaque = opaque_test_colours()
    bad = 0
    for arg in sys.argv[1:]:
        files = [arg] if os.path.isfile(arg) else sorted(
            os.path.join(arg, f) for f in (os.listdir(arg) if os.path.isdir(arg) else []) if f.endswith(".png"))
        if not files:
            print("FAILED: no window pictures in %s" % arg)
            bad += 1
            continue
        for path in files:
            found = scan(path, opaque)
            for name, (count, (x, y)) in sorted(found.items()):
                print("FAILED: %s: %d pixels of %s, the first at %d,%d" % (path, count, name, x, y))
            bad += bool(found)
            if not found:
                print("clean: %s" % path)
    sys.exit(1 if bad else 0)


if __name__ == "__main__":
    main()
