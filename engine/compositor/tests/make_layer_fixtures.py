#!/usr/bin/env python3
"""Pictures for the layer tests: raw pixels written here, encoded by ffmpeg.

For each picture NAME the folder gets NAME.rgba (the pixels the file must
decode to: red, green, blue, alpha, top row first) and the encoded file. PNG
files are checked to decode back to exactly those pixels; JPEG only closely.
"""
import os
import subprocess
import sys

out = sys.argv[1]
ffmpeg = sys.argv[2] if len(sys.argv) > 2 else "ffmpeg"
os.makedirs(out, exist_ok=True)


def run(*args):
    subprocess.run([ffmpeg, "-v", "error", "-y", *args], check=True)


def decode_rgba(path, w, h):
    return subprocess.run([ffmpeg, "-v", "error", "-i", path, "-f", "rawvideo", "-pix_fmt", "rgba", "-"],
                          check=True, capture_output=True).stdout


def write(name, data):
    with open(os.path.join(out, name), "wb") as f:
        f.write(data)


def png_from_rgba(name, w, h, pixel):
    rgba = bytes(v for y in range(h) for x in range(w) for v in pixel(x, y))
    write(name + ".rgba", rgba)
    raw = os.path.join(out, name + ".in")
    write(name + ".in", rgba)
    run("-f", "rawvideo", "-pix_fmt", "rgba", "-s", "%dx%d" % (w, h), "-i", raw, "-frames:v", "1",
        os.path.join(out, name + ".png"))
    assert decode_rgba(os.path.join(out, name + ".png"), w, h) == rgba, name
    os.remove(raw)


# Straight alpha over the whole range, colours varying across.
png_from_rgba("alpha", 90, 60, lambda x, y: ((x * 7) % 256, (y * 11) % 256, (x * y) % 256, ((x + y) * 13) % 256))
# Opaque pictures larger than the sticker box.
png_from_rgba("wide", 200, 100, lambda x, y: (x % 256, y % 256, 90, 255))
png_from_rgba("tall", 100, 150, lambda x, y: (40, x % 256, y % 256, 255))

# An opaque sticker for the road through the camera.
png_from_rgba("sticker", 40, 30, lambda x, y: (255, 0, 255, 255))

# A palette picture with transparent and half-transparent entries.
w, h = 40, 30
palette = [(255, 0, 0, 255), (0, 255, 0, 0), (0, 0, 255, 128), (250, 200, 10, 255), (30, 60, 90, 64), (9, 9, 9, 255)]
indices = bytes(((x // 4) + (y // 3)) % len(palette) for y in range(h) for x in range(w))
table = b"".join(bytes((b, g, r, a)) for (r, g, b, a) in palette) + bytes(4 * (256 - len(palette)))
write("palette.in", indices + table)
write("palette.rgba", b"".join(bytes(palette[i]) for i in indices))
run("-f", "rawvideo", "-pix_fmt", "pal8", "-s", "%dx%d" % (w, h), "-i", os.path.join(out, "palette.in"),
    "-frames:v", "1", "-pix_fmt", "pal8", os.path.join(out, "palette.png"))
assert decode_rgba(os.path.join(out, "palette.png"), w, h) == open(os.path.join(out, "palette.rgba"), "rb").read()
os.remove(os.path.join(out, "palette.in"))

# Grey levels.
w, h = 50, 40
grey = bytes((x * 5 + y * 3) % 256 for y in range(h) for x in range(w))
write("grey.in", grey)
write("grey.rgba", b"".join(bytes((g, g, g, 255)) for g in grey))
run("-f", "rawvideo", "-pix_fmt", "gray", "-s", "%dx%d" % (w, h), "-i", os.path.join(out, "grey.in"),
    "-frames:v", "1", "-pix_fmt", "gray", os.path.join(out, "grey.png"))
assert decode_rgba(os.path.join(out, "grey.png"), w, h) == open(os.path.join(out, "grey.rgba"), "rb").read()
os.remove(os.path.join(out, "grey.in"))

# A smooth photo-like picture as JPEG (full chroma, best quality).
w, h = 80, 60
rgb = bytes(v for y in range(h) for x in range(w) for v in (40 + x * 2, 30 + y * 3, 200 - x - y))
write("photo.in", rgb)
write("photo.rgba", b"".join(rgb[i:i + 3] + b"\xff" for i in range(0, len(rgb), 3)))
run("-f", "rawvideo", "-pix_fmt", "rgb24", "-s", "%dx%d" % (w, h), "-i", os.path.join(out, "photo.in"),
    "-frames:v", "1", "-pix_fmt", "yuvj444p", "-q:v", "1", os.path.join(out, "photo.jpg"))
os.remove(os.path.join(out, "photo.in"))
