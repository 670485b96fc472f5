#!/usr/bin/env python3
"""Writes apply's program icon: a blue rounded tile with a white circular
"renew" arrow, drawn at ten sizes as 32-bit images with alpha and a 1-bit
mask for older systems. Pure geometry, no randomness or time stamps, so the
file is the same on every build.

    make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

SIZES = (16, 20, 24, 32, 40, 48, 64, 72, 96, 128)
SUPERSAMPLE = 4

TOP = (0x3a, 0x8d, 0xf0)
BOTTOM = (0x17, 0x4a, 0xa8)
EDGE = (0x10, 0x34, 0x7a)
ARROW = (0xff, 0xff, 0xff)

RING_RADIUS = 0.25
RING_WIDTH = 0.1
ARC_START = math.radians(-20)   # the arc runs from here...
ARC_END = math.radians(-80)     # ...counter-clockwise round to here


def inside_tile(x, y, inset=0.04, radius=0.2):
    lo, hi = inset, 1.0 - inset
    if x < lo or x > hi or y < lo or y > hi:
        return False
    cx = min(max(x, lo + radius), hi - radius)
    cy = min(max(y, lo + radius), hi - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2


def angle_on_arc(a):
    # The arc leaves out the wedge between ARC_END and ARC_START.
    a = (a - ARC_START) % (2 * math.pi)
    return a <= (ARC_END - ARC_START) % (2 * math.pi)


def arrow_head():
    # A triangle at the arc's starting end, pointing along the turn direction.
    a = ARC_START
    base = (0.5 + RING_RADIUS * math.cos(a), 0.5 - RING_RADIUS * math.sin(a))
    radial = (math.cos(a), -math.sin(a))
    tangent = (-math.sin(a), -math.cos(a))  # clockwise on screen
    half = RING_WIDTH * 1.55
    p1 = (base[0] + radial[0] * half, base[1] + radial[1] * half)
    p2 = (base[0] - radial[0] * half, base[1] - radial[1] * half)
    tip = (base[0] + tangent[0] * half * 1.2, base[1] + tangent[1] * half * 1.2)
    return p1, p2, tip


HEAD_TRIANGLE = arrow_head()


def inside_triangle(x, y, tri):
    (x1, y1), (x2, y2), (x3, y3) = tri
    d1 = (x - x2) * (y1 - y2) - (x1 - x2) * (y - y2)
    d2 = (x - x3) * (y2 - y3) - (x2 - x3) * (y - y3)
    d3 = (x - x1) * (y3 - y1) - (x3 - x1) * (y - y1)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


def inside_arrow(x, y):
    dx, dy = x - 0.5, 0.5 - y
    r = math.hypot(dx, dy)
    if abs(r - RING_RADIUS) <= RING_WIDTH / 2 and angle_on_arc(math.atan2(dy, dx)):
        return True
    return inside_triangle(x, y, HEAD_TRIANGLE)


def sample(x, y):
    """Colour and coverage (0 or 1) of one sample point in unit coordinates."""
    if not inside_tile(x, y):
        return (0, 0, 0), 0
    if inside_arrow(x, y):
        return ARROW, 1
    if not inside_tile(x, y, inset=0.075, radius=0.165):
        return EDGE, 1
    return tuple(round(t + (b - t) * y) for t, b in zip(TOP, BOTTOM)), 1


def render(size):
    """Rows of (b, g, r, a) pixels, top row first."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0, 0, 0]
            cover = 0
            for sy in range(n):
                for sx in range(n):
                    colour, c = sample((px + (sx + 0.5) / n) / size, (py + (sy + 0.5) / n) / size)
                    if c:
                        cover += 1
                        for i in range(3):
                            acc[i] += colour[i]
            if cover:
                r, g, b = (round(v / cover) for v in acc)
                row.append((b, g, r, round(255 * cover / (n * n))))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def icon_image(size):
    rows = render(size)
    xor = b"".join(bytes(c for px in row for c in px) for row in reversed(rows))
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(mask_stride)
        for x, px in enumerate(row):
            if px[3] < 128:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return header + xor + bytes(mask)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = [icon_image(s) for s in SIZES]
    offset = 6 + 16 * len(images)
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(sys.argv[1], "wb") as f:
        f.write(out)


if __name__ == "__main__":
    main()
