#!/usr/bin/env python3
"""Draws the wizard's icons and bitmaps (Python standard library only).

make_artwork.py OUTDIR writes wizard_small.ico (107), wizard_big.ico (108),
logo.bmp (1111, 162x18), page_images.bmp (145, three 48x48 images),
close_button.bmp (138, two 43x17 images) and spinner.bmp (136, twelve 64x64
frames of the pages' spinner), the logo palettised and the strips 24-bit,
and reference/logo.bmp, the logo's 24-bit form for the tests. Shapes are
rendered with 4x4
supersampling; bitmaps with a mask colour blend their edges against the
background they are drawn on, so that no fringe of the mask colour shows.
"""
import math
import os
import struct
import sys

BASE = (99, 124, 213)
DARK = (69, 86, 149)
LIGHT = (138, 160, 232)
MAGENTA = (255, 0, 255)
WHITE = (255, 255, 255)
SS = 4


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


class Canvas:
    """RGBA float canvas; shapes are coverage functions f(x, y) -> bool."""

    def __init__(self, w, h, fill=(0, 0, 0, 0.0)):
        self.w, self.h = w, h
        self.px = [[list(fill) for _ in range(w)] for _ in range(h)]

    def shape(self, inside, color, alpha=1.0):
        """color: (r,g,b) or a function (x, y) -> (r,g,b)."""
        for y in range(self.h):
            for x in range(self.w):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(x + (sx + 0.5) / SS, y + (sy + 0.5) / SS):
                            hits += 1
                if not hits:
                    continue
                cov = hits / (SS * SS) * alpha
                c = color(x + 0.5, y + 0.5) if callable(color) else color
                p = self.px[y][x]
                out_a = cov + p[3] * (1 - cov)
                for i in range(3):
                    p[i] = (c[i] * cov + p[i] * p[3] * (1 - cov)) / out_a if out_a else 0
                p[3] = out_a

    def rgba(self, x, y):
        p = self.px[y][x]
        return (int(round(p[0])), int(round(p[1])), int(round(p[2])), p[3])

    def flatten(self, background, key=None):
        """Opaque pixels over background; fully transparent ones become key."""
        rows = []
        for y in range(self.h):
            row = []
            for x in range(self.w):
                r, g, b, a = self.rgba(x, y)
                if a <= 0.02 and key is not None:
                    row.append(key)
                else:
                    bg = background(x, y) if callable(background) else background
                    row.append(mix(bg, (r, g, b), a))
            rows.append(row)
        return rows


def rrect(x0, y0, x1, y1, r):
    def inside(x, y):
        if x < x0 or x > x1 or y < y0 or y > y1:
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def segment(x0, y0, x1, y1, width):
    half = width / 2.0
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx, y0 + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= half * half
    return inside


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i in range(len(points)):
            xi, yi = points[i]
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def vertical(top, bottom, y0, y1):
    return lambda x, y: mix(top, bottom, max(0.0, min(1.0, (y - y0) / float(y1 - y0))))


# Capital letters as strokes on a 6 x 10 grid.
GLYPHS = {
    'L': [((0, 0), (0, 10)), ((0, 10), (5, 10))],
    'A': [((0, 10), (3, 0)), ((3, 0), (6, 10)), ((1.2, 6.5), (4.8, 6.5))],
    'R': [((0, 10), (0, 0)), ((0, 0), (3.8, 0)), ((3.8, 0), (5.2, 1.3)), ((5.2, 1.3), (5.2, 3.7)),
          ((5.2, 3.7), (3.8, 5)), ((3.8, 5), (0, 5)), ((2.8, 5), (5.4, 10))],
    'K': [((0, 0), (0, 10)), ((5.2, 0), (0.3, 6)), ((1.9, 4.2), (5.4, 10))],
    'C': 'arc',
    'I': [((0, 0), (0, 10))],
    'E': [((5, 0), (0, 0)), ((0, 0), (0, 10)), ((0, 10), (5, 10)), ((0, 5), (4.2, 5))],
    'N': [((0, 10), (0, 0)), ((0, 0), (5, 10)), ((5, 10), (5, 0))],
    'T': [((0, 0), (6, 0)), ((3, 0), (3, 10))],
    ' ': [],
}
ADVANCE = {'I': 3.0, ' ': 3.6, 'T': 8.0, 'A': 8.2}


def text_shape(text, x, y, scale, width):
    shapes = []
    for ch in text:
        strokes = GLYPHS[ch]
        if strokes == 'arc':
            cx, cy, r = x + 3.0 * scale, y + 5 * scale, 5 * scale
            def arc(px, py, cx=cx, cy=cy, r=r):
                d = math.hypot(px - cx, (py - cy) * 1.0)
                angle = math.degrees(math.atan2(py - cy, px - cx))
                return abs(d - r * 0.98) <= width / 2 and not (-48 < angle < 48)
            # An ellipse 6 wide and 10 high: squeeze x.
            def squeezed(px, py, cx=cx, cy=cy, arc=arc):
                return arc(cx + (px - cx) * 10.0 / 6.4, py)
            shapes.append(squeezed)
            x += 7.9 * scale
            continue
        for (a, b) in strokes:
            shapes.append(segment(x + a[0] * scale, y + a[1] * scale, x + b[0] * scale, y + b[1] * scale, width))
        x += ADVANCE.get(ch, 7.9) * scale
    return union(*shapes) if shapes else (lambda px, py: False)


def emblem(c, size, ox=0.0, oy=0.0):
    """The product mark: a rounded tile in the base colour with a white
    arrow landing in a tray."""
    s = size / 48.0
    c.shape(rrect(ox + 2 * s, oy + 2 * s, ox + 46 * s, oy + 46 * s, 10 * s), vertical(LIGHT, DARK, oy, oy + size))
    w = max(1.6, 5.0 * s)
    arrow = union(segment(ox + 24 * s, oy + 10 * s, ox + 24 * s, oy + 27 * s, w),
                  polygon([(ox + 14 * s, oy + 23 * s), (ox + 34 * s, oy + 23 * s), (ox + 24 * s, oy + 33 * s)]))
    tray = union(segment(ox + 12 * s, oy + 30 * s, ox + 12 * s, oy + 37 * s, w),
                 segment(ox + 12 * s, oy + 37 * s, ox + 36 * s, oy + 37 * s, w),
                 segment(ox + 36 * s, oy + 37 * s, ox + 36 * s, oy + 30 * s, w))
    c.shape(union(arrow, tray), WHITE)


# ---- file writers ----------------------------------------------------------

def write_bmp(path, rows):
    h, w = len(rows), len(rows[0])
    stride = (w * 3 + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for (r, g, b) in row:
            line += bytes((b, g, r))
        line += b'\0' * (stride - len(line))
        data += line
    header = struct.pack('<2sIHHI', b'BM', 14 + 40 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + info + data)


def write_bmp8(path, rows):
    """An uncompressed 8-bit bitmap with exactly the image's colours in its
    colour table, the first pixel's colour first: the same pixels as the
    24-bit form in about a third of the bytes. An image with more than 256
    colours is an error, not a silent loss."""
    h, w = len(rows), len(rows[0])
    first = rows[-1][0]
    colors = [first] + sorted({c for row in rows for c in row} - {first})
    if len(colors) > 256:
        raise SystemExit('%s: %d colours do not fit an 8-bit bitmap' % (path, len(colors)))
    index = {c: i for i, c in enumerate(colors)}
    stride = (w + 3) & ~3
    data = bytearray()
    for row in reversed(rows):
        line = bytearray(index[c] for c in row)
        line += b'\0' * (stride - len(line))
        data += line
    table = b''.join(bytes((b, g, r, 0)) for (r, g, b) in colors)
    offset = 14 + 40 + len(table)
    header = struct.pack('<2sIHHI', b'BM', offset + len(data), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 8, 0, len(data), 2835, 2835, len(colors), 0)
    with open(path, 'wb') as f:
        f.write(header + info + table + data)


def icon_image(c):
    w, h = c.w, c.h
    xor = bytearray()
    for y in reversed(range(h)):
        for x in range(w):
            r, g, b, a = c.rgba(x, y)
            xor += bytes((b, g, r, int(round(a * 255))))
    mask_stride = ((w + 31) // 32) * 4
    mask = bytearray()
    for y in reversed(range(h)):
        bits = bytearray(mask_stride)
        for x in range(w):
            if c.rgba(x, y)[3] <= 0.02:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    info = struct.pack('<IiiHHIIiiII', 40, w, h * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def write_ico(path, sizes):
    images = []
    for size in sizes:
        c = Canvas(size, size)
        emblem(c, size)
        images.append((size, icon_image(c)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        out += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for _, data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


# ---- the bitmaps -------------------------------------------------------------

def logo():
    c = Canvas(162, 18)
    emblem(c, 16, 1, 1)
    c.shape(text_shape('LARK CLIENT', 24, 4, 1.0, 1.7), (70, 82, 120))
    # Drawn near the bottom of the body gradient (about RGB 217,217,217).
    return c.flatten((219, 219, 219), MAGENTA)


def page_images():
    c = Canvas(144, 48)
    # 0: a monitor with a warning sign (unsupported system).
    c.shape(rrect(4, 8, 40, 34, 3), (72, 84, 112))
    c.shape(rrect(7, 11, 37, 31, 1.5), vertical(LIGHT, BASE, 11, 31))
    c.shape(polygon([(18, 34), (26, 34), (28, 40), (16, 40)]), (110, 120, 145))
    c.shape(rrect(12, 39, 32, 42, 1.5), (90, 100, 128))
    c.shape(polygon([(33, 20), (46, 44), (20, 44)]), (235, 150, 40))
    c.shape(segment(33, 28, 33, 36, 2.6), WHITE)
    c.shape(circle(33, 40, 1.5), WHITE)
    # 1: a document with a seal (licence terms).
    c.shape(polygon([(58, 4), (82, 4), (90, 12), (90, 44), (58, 44)]), (92, 104, 140))
    c.shape(polygon([(60, 6), (81, 6), (88, 13), (88, 42), (60, 42)]), (250, 251, 255))
    c.shape(polygon([(81, 6), (88, 13), (81, 13)]), (200, 208, 230))
    for i, y in enumerate((16, 21, 26, 31)):
        c.shape(segment(65, y, 83 - (6 if i == 3 else 0), y, 1.6), (150, 160, 190))
    c.shape(circle(82, 38, 6), vertical(LIGHT, DARK, 32, 44))
    c.shape(union(segment(79, 38, 81.5, 40.5, 1.6), segment(81.5, 40.5, 85.5, 35.5, 1.6)), WHITE)
    # 2: a disk drive with a usage bar (disk space).
    c.shape(rrect(100, 14, 142, 38, 5), vertical((150, 160, 185), (88, 98, 124), 14, 38))
    c.shape(rrect(103, 17, 139, 28, 3), (236, 239, 246))
    c.shape(rrect(105, 19, 126, 26, 2), vertical(LIGHT, BASE, 19, 26))
    c.shape(circle(134, 33, 2), (120, 230, 140))
    return c.flatten(WHITE, MAGENTA)


def close_button():
    c = Canvas(86, 17)
    for index, (fill, edge, glyph) in enumerate((((206, 72, 66), (140, 40, 38), (252, 252, 252)),
                                                 ((160, 170, 196), (122, 132, 160), (236, 238, 244)))):
        ox = index * 43
        c.shape(rrect(ox + 0.5, 0.5, ox + 42.5, 16.5, 4), edge)
        c.shape(rrect(ox + 1.5, 1.5, ox + 41.5, 15.5, 3.2),
                vertical(mix(fill, WHITE, 0.25), fill, 1, 16))
        x = union(segment(ox + 17.5, 4.5, ox + 25.5, 12.5, 2.0), segment(ox + 25.5, 4.5, ox + 17.5, 12.5, 2.0))
        c.shape(x, glyph)
    # White is the strip's mask colour: keep the glyph and edges off it.
    return c.flatten(BASE, WHITE)


def spinner():
    # Twelve dots on a ring; in frame f the dot at position f is darkest and
    # the ones behind it fade. Every frame covers the same pixels with
    # opaque colour and leaves the rest white, the strip's mask colour, so a
    # frame drawn transparently over the last one leaves no trace of it.
    frames, size, dots = 12, 64, 12
    coverage = []
    for i in range(dots):
        a = 2 * math.pi * i / dots - math.pi / 2
        cx, cy = 32 + 22 * math.cos(a), 32 + 22 * math.sin(a)
        cells = {}
        for y in range(int(cy) - 6, int(cy) + 7):
            for x in range(int(cx) - 6, int(cx) + 7):
                hits = sum(1 for sy in range(SS) for sx in range(SS)
                           if (x + (sx + 0.5) / SS - cx) ** 2 + (y + (sy + 0.5) / SS - cy) ** 2 <= 4.6 ** 2)
                if hits:
                    cells[(x, y)] = hits / (SS * SS)
        coverage.append(cells)
    rows = [[WHITE] * (size * frames) for _ in range(size)]
    for f in range(frames):
        for i, cells in enumerate(coverage):
            age = (f - i) % dots
            color = mix(DARK, (222, 228, 246), min(1.0, age / (dots - 2)))
            for (x, y), cov in cells.items():
                c = mix(WHITE, color, max(cov, 0.25))
                if c == WHITE:
                    c = (254, 254, 254)
                rows[y][f * size + x] = c
    return rows


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, 'wizard_small.ico'), (16, 32, 48))
    write_ico(os.path.join(out, 'wizard_big.ico'), (48, 32, 16))
    # The logo is loaded as a plain bitmap and ships palettised; its 24-bit
    # form goes to reference/, where only the tests read it. The three strips
    # stay 24-bit: an image list loaded from a DIB section takes the DIB's
    # depth, and an 8-bit list does not draw the same colours and mask.
    os.makedirs(os.path.join(out, 'reference'), exist_ok=True)
    rows = logo()
    write_bmp8(os.path.join(out, 'logo.bmp'), rows)
    write_bmp(os.path.join(out, 'reference', 'logo.bmp'), rows)
    write_bmp(os.path.join(out, 'page_images.bmp'), page_images())
    write_bmp(os.path.join(out, 'close_button.bmp'), close_button())
    write_bmp(os.path.join(out, 'spinner.bmp'), spinner())


if __name__ == '__main__':
    main()
