#!/usr/bin/env python3
"""Draws lumaspire.ico and about.bmp next to this script.

Standard library only, so the committed images can be rebuilt anywhere:
    python3 resources/make_images.py
The output is deterministic; rerunning it gives byte-identical files.
"""

import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))

# Samples per pixel edge; shapes are anti-aliased by averaging coverage.
SUPERSAMPLE = 4


def clamp8(v):
    return max(0, min(255, int(round(v))))


def lerp(a, b, t):
    return a + (b - a) * t


def mix(c0, c1, t):
    return tuple(lerp(x, y, t) for x, y in zip(c0, c1))


def over(dst, src, alpha):
    """Blends an opaque colour onto dst with the given coverage."""
    return tuple(lerp(d, s, alpha) for d, s in zip(dst, src))


def coverage(inside, px, py):
    """Fraction of pixel (px, py) for which inside(x, y) holds."""
    hits = 0
    for sy in range(SUPERSAMPLE):
        for sx in range(SUPERSAMPLE):
            if inside(px + (sx + 0.5) / SUPERSAMPLE, py + (sy + 0.5) / SUPERSAMPLE):
                hits += 1
    return hits / (SUPERSAMPLE * SUPERSAMPLE)


def in_rounded_rect(x, y, left, top, right, bottom, radius):
    if not (left <= x <= right and top <= y <= bottom):
        return False
    cx = min(max(x, left + radius), right - radius)
    cy = min(max(y, top + radius), bottom - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def in_triangle(x, y, a, b, c):
    def side(p, q):
        return (q[0] - p[0]) * (y - p[1]) - (q[1] - p[1]) * (x - p[0])

    d1, d2, d3 = side(a, b), side(b, c), side(c, a)
    has_neg = d1 < 0 or d2 < 0 or d3 < 0
    has_pos = d1 > 0 or d2 > 0 or d3 > 0
    return not (has_neg and has_pos)


# ---------------------------------------------------------------- icon

def draw_icon(size):
    """Returns rows (top-down) of (b, g, r, a) tuples for one icon image."""
    s = float(size)
    margin = max(1.0, s / 16.0)
    left, top, right, bottom = margin, margin * 1.5, s - margin, s - margin * 1.5
    radius = s * 0.16
    bezel = max(1.0, s / 20.0)

    tri = ((s * 0.38, s * 0.29), (s * 0.38, s * 0.71), (s * 0.73, s * 0.50))

    deep = (0x16, 0x2a, 0x5c)      # r, g, b
    light = (0x3d, 0x7b, 0xd8)
    rim = (0x0c, 0x17, 0x33)
    play = (0xf2, 0xf6, 0xff)

    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            outer = coverage(
                lambda x, y: in_rounded_rect(x, y, left, top, right, bottom, radius),
                px, py)
            if outer == 0.0:
                row.append((0, 0, 0, 0))
                continue
            inner = coverage(
                lambda x, y: in_rounded_rect(x, y, left + bezel, top + bezel,
                                             right - bezel, bottom - bezel,
                                             max(0.5, radius - bezel)),
                px, py)
            # Diagonal gradient: brighter towards the top-left like a lit screen.
            t = ((px + 0.5) / s * 0.45 + (py + 0.5) / s * 0.55)
            colour = over(rim, mix(light, deep, t), inner)
            arrow = coverage(lambda x, y: in_triangle(x, y, *tri), px, py)
            colour = over(colour, play, arrow)
            r, g, b = colour
            row.append((clamp8(b), clamp8(g), clamp8(r), clamp8(outer * 255)))
        rows.append(row)
    return rows


def icon_image_bytes(size):
    """One icon entry as a BITMAPINFOHEADER + XOR (BGRA) + AND mask."""
    rows = draw_icon(size)
    header = struct.pack('<IiiHHIIiiII',
                         40, size, size * 2, 1, 32, 0,
                         0, 0, 0, 0, 0)
    xor = bytearray()
    for row in reversed(rows):          # bitmaps are stored bottom-up
        for b, g, r, a in row:
            xor += bytes((b, g, r, a))
    # The mask lets systems that ignore alpha still cut out the corners.
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + bytes(xor) + bytes(mask)


def write_icon(path, sizes=(16, 32, 48)):
    images = [icon_image_bytes(n) for n in sizes]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 0, 0, 1, 32,
                           len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, 'wb') as f:
        f.write(out)


# ---------------------------------------------------------------- about

ABOUT_W, ABOUT_H = 400, 200
BAND_TOP = 180


def draw_about():
    """Returns rows (top-down) of (r, g, b) floats."""
    top_left = (0x10, 0x1c, 0x3a)
    bottom_right = (0x05, 0x08, 0x14)
    glow = (0x2c, 0x5c, 0xb0)
    line = (0x7f, 0xb2, 0xff)
    band = (0xe8, 0xec, 0xf2)

    # Decoration sits in the upper right; the lower left stays calm for text.
    cx, cy = 330.0, 58.0
    rings = (38.0, 62.0, 90.0, 122.0)
    ring_width = 1.2
    spires = [(300 + i * 16, 24 + (i % 3) * 10, 6 + (i % 2) * 3) for i in range(6)]

    def in_spire(x, y, base_x, tip_y, half):
        base_y = 118.0
        if not (tip_y <= y <= base_y):
            return False
        t = (y - tip_y) / (base_y - tip_y)
        return abs(x - base_x) <= half * t

    rows = []
    for py in range(ABOUT_H):
        row = []
        for px in range(ABOUT_W):
            t = (px / ABOUT_W) * 0.6 + (py / ABOUT_H) * 0.4
            colour = mix(top_left, bottom_right, t)

            d = math.hypot(px + 0.5 - cx, py + 0.5 - cy)
            halo = max(0.0, 1.0 - d / 170.0) ** 2 * 0.55
            colour = over(colour, glow, halo)

            # Rings fade out towards the left so they never reach the text area.
            fade = max(0.0, min(1.0, (px - 170.0) / 120.0))
            if fade > 0.0:
                for r in rings:
                    edge = abs(d - r)
                    if edge < ring_width + 1.0:
                        a = max(0.0, 1.0 - max(0.0, edge - ring_width * 0.5))
                        colour = over(colour, line, a * 0.35 * fade)

            for base_x, tip_y, half in spires:
                if abs(px - base_x) <= half + 1 and tip_y - 1 <= py <= 119:
                    a = coverage(lambda x, y: in_spire(x, y, base_x, tip_y, half),
                                 px, py)
                    if a:
                        shade = 0.55 + 0.45 * (1.0 - (py - tip_y) / (118.0 - tip_y))
                        colour = over(colour, mix(glow, line, shade), a * 0.8)

            # A thin horizon under the spires gives the picture a floor.
            if 118 <= py <= 119 and px >= 230:
                colour = over(colour, line, 0.5 * min(1.0, (px - 230) / 60.0))

            # A light band carries the black copyright line and the blue link.
            if py >= BAND_TOP:
                colour = band if py > BAND_TOP else mix(line, band, 0.5)
            row.append(colour)
        rows.append(row)
    return rows


def write_about(path):
    rows = draw_about()
    stride = (ABOUT_W * 3 + 3) & ~3
    pixels = bytearray()
    for row in reversed(rows):          # bottom-up
        line = bytearray()
        for r, g, b in row:
            line += bytes((clamp8(b), clamp8(g), clamp8(r)))
        line += bytes(stride - len(line))
        pixels += line
    info = struct.pack('<IiiHHIIiiII', 40, ABOUT_W, ABOUT_H, 1, 24, 0,
                       len(pixels), 2835, 2835, 0, 0)
    file_header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(pixels),
                              0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(file_header + info + pixels)


def main():
    write_icon(os.path.join(HERE, 'lumaspire.ico'))
    write_about(os.path.join(HERE, 'about.bmp'))


if __name__ == '__main__':
    main()
