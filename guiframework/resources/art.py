#!/usr/bin/env python3
"""A small drawing kit for the skin pictures: a canvas of straight RGBA
floats, antialiased shapes by signed distance (rounded rectangles, circles,
strokes), vertical gradients and text rendered by ImageMagick's convert with
the CJK font that set-up installs. Output is a PNG written with zlib alone,
so the same inputs give the same bytes on every run."""
import math
import os
import struct
import subprocess
import zlib

FONT = "/usr/share/fonts/truetype/wqy/wqy-microhei.ttc"


def png(width, height, rows, alpha):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)
    raw = b"".join(b"\0" + bytes(row) for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if alpha else 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


# ---- signed distances (negative inside), in pixel units

def sd_round_rect(x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - r, (y1 - y0) / 2.0 - r

    def f(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return f


def sd_circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def sd_segment(ax, ay, bx, by, half_width):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy or 1e-9

    def f(x, y):
        t = clamp(((x - ax) * dx + (y - ay) * dy) / length2)
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - half_width
    return f


def sd_polyline(points, half_width):
    parts = [sd_segment(a[0], a[1], b[0], b[1], half_width) for a, b in zip(points, points[1:])]
    return lambda x, y: min(p(x, y) for p in parts)


def sd_ring(shape, width):
    """The band of the given width just inside a shape's edge."""
    return lambda x, y: max(shape(x, y), -(shape(x, y) + width))


def sd_minus(shape, hole):
    return lambda x, y: max(shape(x, y), -hole(x, y))


def vertical(top, bottom, y0, y1):
    """A colour function running from top to bottom between rows y0 and y1."""
    def f(x, y):
        t = clamp((y - y0) / float(max(y1 - y0, 1e-9)))
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(len(top)))
    return f


class Canvas:
    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width, self.height = width, height
        bg = tuple(float(c) for c in rgba(background))
        self.px = [[bg for _ in range(width)] for _ in range(height)]

    def blend(self, x, y, colour, cover):
        """Source-over of a straight RGBA colour with extra coverage."""
        r, g, b, a = colour
        sa = a / 255.0 * cover
        if sa <= 0:
            return
        dr, dg, db, da = self.px[y][x]
        da /= 255.0
        oa = sa + da * (1 - sa)
        if oa <= 0:
            return
        mix = lambda s, d: (s * sa + d * da * (1 - sa)) / oa  # noqa: E731
        self.px[y][x] = (mix(r, dr), mix(g, dg), mix(b, db), oa * 255.0)

    def fill(self, shape, colour, box=None):
        """Fills a signed-distance shape with a colour or a colour function."""
        paint = colour if callable(colour) else (lambda x, y, c=rgba(colour): c)
        x0, y0, x1, y1 = box or (0, 0, self.width, self.height)
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                cx, cy = x + 0.5, y + 0.5
                cover = clamp(0.5 - shape(cx, cy))
                if cover > 0:
                    self.blend(x, y, rgba(paint(cx, cy)), cover)

    def text(self, text, size, colour, cx, cy, weight=0.0):
        """Text centred on (cx, cy); weight > 0 thickens the strokes a little."""
        mask_w, mask_h, mask = render_text(text, size, weight)
        left = int(round(cx - mask_w / 2.0))
        top = int(round(cy - mask_h / 2.0))
        self.mask(mask, mask_w, mask_h, left, top, colour)

    def text_at(self, text, size, colour, left, cy, weight=0.0):
        """Text starting at column left, centred on row cy; returns its width."""
        mask_w, mask_h, mask = render_text(text, size, weight)
        self.mask(mask, mask_w, mask_h, int(left), int(round(cy - mask_h / 2.0)), colour)
        return mask_w

    def mask(self, mask, mask_w, mask_h, left, top, colour):
        colour = rgba(colour)
        for my in range(mask_h):
            y = top + my
            if not 0 <= y < self.height:
                continue
            for mx in range(mask_w):
                x = left + mx
                if 0 <= x < self.width and mask[my * mask_w + mx]:
                    self.blend(x, y, colour, mask[my * mask_w + mx] / 255.0)

    def png(self, alpha=True):
        rows = []
        for line in self.px:
            row = []
            for r, g, b, a in line:
                if alpha:
                    row += (int(round(r)), int(round(g)), int(round(b)), int(round(a)))
                else:
                    # Opaque pictures: whatever is translucent lies on white.
                    k = a / 255.0
                    row += tuple(int(round(c * k + 255 * (1 - k))) for c in (r, g, b))
            rows.append(row)
        return png(self.width, self.height, rows, alpha)


def rgba(colour):
    return tuple(colour) if len(colour) == 4 else tuple(colour) + (255,)


_text_cache = {}


def render_text(text, size, weight=0.0):
    """The text's coverage mask (width, height, bytes) from ImageMagick."""
    key = (text, size, weight)
    if key not in _text_cache:
        if not os.path.exists(FONT):
            raise SystemExit("art.py: the font %s is missing (fonts-wqy-microhei, scripts/setup.sh)" % FONT)
        args = ["convert", "-background", "black", "-fill", "white", "-font", FONT, "-pointsize", str(size)]
        if weight:
            args += ["-stroke", "white", "-strokewidth", str(weight)]
        args += ["label:" + text, "-trim", "+repage", "-depth", "8", "pgm:-"]
        out = subprocess.run(args, check=True, stdout=subprocess.PIPE).stdout
        fields, rest = [], out
        while len(fields) < 4:  # P5, width, height, maximum
            rest = rest.lstrip()
            end = min(i for i in (rest.find(b" "), rest.find(b"\n")) if i >= 0)
            fields.append(rest[:end])
            rest = rest[end:]
        width, height = int(fields[1]), int(fields[2])
        _text_cache[key] = (width, height, rest[1:1 + width * height])
    return _text_cache[key]


# ---- shared pieces of the look

def button(canvas, state, radius=3, primary=False, inset=0.0):
    """A button face: light (captions drawn by the program over it) or the
    blue primary kind, in the states normal, hover, pressed, focus, disabled."""
    w, h = canvas.width, canvas.height
    shape = sd_round_rect(inset, inset, w - inset, h - inset, radius)
    if primary:
        faces = {
            "normal": ((0x3A, 0x9B, 0xF2), (0x1C, 0x7E, 0xDE), (0x17, 0x6C, 0xC4)),
            "hover": ((0x5C, 0xAF, 0xF7), (0x35, 0x93, 0xEE), (0x1E, 0x7A, 0xD4)),
            "pressed": ((0x16, 0x6D, 0xC6), (0x1B, 0x78, 0xD6), (0x12, 0x5A, 0xA8)),
            "focus": ((0x3A, 0x9B, 0xF2), (0x1C, 0x7E, 0xDE), (0x0E, 0x50, 0x9A)),
            "disabled": ((0xC9, 0xCE, 0xD5), (0xBB, 0xC1, 0xC9), (0xAE, 0xB4, 0xBC)),
        }
    else:
        faces = {
            "normal": ((0xFF, 0xFF, 0xFF), (0xEC, 0xEE, 0xF1), (0xB9, 0xBF, 0xC7)),
            "hover": ((0xF7, 0xFB, 0xFF), (0xE1, 0xEE, 0xFB), (0x5E, 0xA3, 0xE8)),
            "pressed": ((0xD9, 0xE6, 0xF3), (0xE8, 0xF0, 0xF8), (0x3F, 0x86, 0xD0)),
            "focus": ((0xFF, 0xFF, 0xFF), (0xEC, 0xEE, 0xF1), (0x2D, 0x7F, 0xD8)),
            "disabled": ((0xF4, 0xF5, 0xF6), (0xF4, 0xF5, 0xF6), (0xD6, 0xD9, 0xDD)),
        }
    top, bottom, edge = faces[state]
    canvas.fill(shape, vertical(top, bottom, inset, h - inset))
    canvas.fill(sd_ring(shape, 1.0), edge)
    if state == "focus":
        canvas.fill(sd_ring(sd_round_rect(inset + 1, inset + 1, w - inset - 1, h - inset - 1, max(radius - 1, 0.5)), 1.0),
                    edge + (0x60,))


def check_box(canvas, checked, state):
    """A check box icon; checked ones are blue with a white tick."""
    w, h = canvas.width, canvas.height
    size = min(w, h) - 2.0
    x0, y0 = (w - size) / 2.0, (h - size) / 2.0
    box = sd_round_rect(x0, y0, x0 + size, y0 + size, 2.5)
    if checked:
        fills = {"normal": (0x1E, 0x88, 0xE5), "hover": (0x42, 0x9D, 0xEF), "pressed": (0x15, 0x6C, 0xC0),
                 "disabled": (0xB4, 0xBB, 0xC4)}
        canvas.fill(box, fills[state])
        tick = [(x0 + size * 0.22, y0 + size * 0.52), (x0 + size * 0.42, y0 + size * 0.72),
                (x0 + size * 0.78, y0 + size * 0.30)]
        canvas.fill(sd_polyline(tick, size * 0.075 + 0.45), (0xFF, 0xFF, 0xFF) if state != "disabled" else (0xF2, 0xF3, 0xF5))
    else:
        faces = {"normal": ((0xFF, 0xFF, 0xFF), (0x9A, 0xA3, 0xAE)), "hover": ((0xF4, 0xF9, 0xFF), (0x1E, 0x88, 0xE5)),
                 "pressed": ((0xE2, 0xEC, 0xF7), (0x15, 0x6C, 0xC0)), "disabled": ((0xF0, 0xF1, 0xF3), (0xC8, 0xCD, 0xD3))}
        face, edge = faces[state]
        canvas.fill(box, face)
        canvas.fill(sd_ring(box, 1.0), edge)


def soft_shadow(canvas, inset, radius, strength):
    """A shadow around a rounded panel that starts inset pixels in from the
    picture's edge; it fades out towards the edge and is clear well inside
    the panel (the part a nine-grid stretches)."""
    w, h = canvas.width, canvas.height
    panel = sd_round_rect(inset, inset, w - inset, h - inset, radius)
    clear_from = 12.0
    for y in range(h):
        for x in range(w):
            d = panel(x + 0.5, y + 0.5)
            if d > 0:
                a = strength * (1.0 - clamp(d / float(inset))) ** 2
            else:
                depth = min(x + 0.5, y + 0.5, w - x - 0.5, h - y - 0.5)
                a = strength * clamp((clear_from - depth) / (clear_from - inset))
            if a > 0:
                canvas.px[y][x] = (0.0, 0.0, 0.0, 255.0 * a)


def cross(canvas, colour, arm, cx=None, cy=None, width=1.2):
    cx = canvas.width / 2.0 if cx is None else cx
    cy = canvas.height / 2.0 if cy is None else cy
    canvas.fill(sd_segment(cx - arm, cy - arm, cx + arm, cy + arm, width / 2), colour)
    canvas.fill(sd_segment(cx - arm, cy + arm, cx + arm, cy - arm, width / 2), colour)


def dash(canvas, colour, arm, cy=None, width=1.2):
    cx = canvas.width / 2.0
    cy = canvas.height / 2.0 + 2 if cy is None else cy
    canvas.fill(sd_segment(cx - arm, cy, cx + arm, cy, width / 2), colour)


def state_of(stem):
    """The button state a picture's name gives by one of its words: click, press, hover, disable, foucs."""
    for word, state in (("click", "pressed"), ("press", "pressed"), ("hover", "hover"), ("disable", "disabled"),
                        ("foucs", "focus")):
        if word in stem.split("_"):
            return state
    return "normal"


def title_close(canvas, state, arm):
    """The title bar's close button: a white cross, on red while hovered or pressed."""
    if state != "normal":
        canvas.fill(sd_round_rect(0, 0, canvas.width, canvas.height, 0),
                    (0xE8, 0x11, 0x23) if state == "hover" else (0xBF, 0x0E, 0x1D))
    cross(canvas, (0xFF, 0xFF, 0xFF), arm, width=1.4)


def title_minimise(canvas, state, arm):
    """The title bar's minimise button: a white dash, on a lighter or darker tile while hovered or pressed."""
    if state != "normal":
        canvas.fill(sd_round_rect(0, 0, canvas.width, canvas.height, 0),
                    (0xFF, 0xFF, 0xFF, 0x33 if state == "hover" else 0x1A))
        if state == "pressed":
            canvas.fill(sd_round_rect(0, 0, canvas.width, canvas.height, 0), (0, 0, 0, 0x22))
    dash(canvas, (0xFF, 0xFF, 0xFF), arm, width=1.4)


def round_mark(canvas, colour, glyph, cx=None, cy=None, r=None):
    """A filled disc with a white glyph in it ("!", "?" or "i")."""
    cx = canvas.width / 2.0 if cx is None else cx
    cy = canvas.height / 2.0 if cy is None else cy
    r = min(canvas.width, canvas.height) / 2.0 - 1 if r is None else r
    canvas.fill(sd_circle(cx, cy, r), vertical(tuple(min(255, c + 24) for c in colour), colour, cy - r, cy + r))
    white = (0xFF, 0xFF, 0xFF)
    if glyph == "!":
        stem = r * 0.13
        canvas.fill(sd_segment(cx, cy - r * 0.50, cx, cy + r * 0.12, stem), white)
        canvas.fill(sd_circle(cx, cy + r * 0.45, stem * 1.25), white)
    elif glyph == "i":
        stem = r * 0.13
        canvas.fill(sd_circle(cx, cy - r * 0.45, stem * 1.25), white)
        canvas.fill(sd_segment(cx, cy - r * 0.12, cx, cy + r * 0.50, stem), white)
    elif glyph == "?":
        stem = r * 0.12
        arc = []
        for i in range(0, 21):
            t = math.radians(200 - i * 11.5)  # from the left, over the top, down the right
            arc.append((cx + r * 0.30 * math.cos(t), cy - r * 0.22 - r * 0.30 * math.sin(t)))
        arc += [(cx, cy + r * 0.05), (cx, cy + r * 0.17)]
        canvas.fill(sd_polyline(arc, stem), white)
        canvas.fill(sd_circle(cx, cy + r * 0.48, stem * 1.25), white)


def app_icon(canvas, tile, glyph, x0=0.0, y0=0.0, size=None):
    """The product's icon: a rounded tile with a small camera."""
    size = size or min(canvas.width, canvas.height)
    s = size / 16.0
    canvas.fill(sd_round_rect(x0 + 0.5 * s, y0 + 0.5 * s, x0 + 15.5 * s, y0 + 15.5 * s, 3.2 * s),
                vertical(tuple(min(255, c + 20) for c in tile), tile, y0, y0 + size))
    body = sd_round_rect(x0 + 3 * s, y0 + 5 * s, x0 + 10.5 * s, y0 + 11.5 * s, 1.4 * s)
    canvas.fill(body, glyph)

    def lens_side(x, y):
        # A small wedge on the body's right: the camera's lens hood.
        return max(x0 + 10.0 * s - x, x - (x0 + 13.5 * s), abs(y - (y0 + 8.25 * s)) - (1.2 + (x - x0 - 10.0 * s) * 0.7) * s)
    canvas.fill(lens_side, glyph)
