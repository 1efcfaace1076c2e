#!/usr/bin/env python3
"""Draws the installer's icon and writes it as a multi-size .ico file.

The picture is a carton with a blue arrow going into it, drawn from polygons at every size
on its own (4x4 samples per pixel), so that the small sizes stay sharp instead of being
scaled down from the large one. Sizes up to 64 are stored as 32-bit bitmaps with an AND
mask (what every Windows version reads); 256 is stored as PNG.

Usage: make-icon.py OUTPUT.ico
"""

import struct
import sys
import zlib

SIZES = (16, 20, 24, 32, 40, 48, 64, 256)
SAMPLES = 4

# Shapes in a 0..1 square, drawn in order: (colour at the top, colour at the bottom, points).
CARTON_BACK = ((0x9A, 0x6B, 0x3C), (0x8A, 0x5E, 0x33),
               [(0.16, 0.42), (0.84, 0.42), (0.84, 0.50), (0.16, 0.50)])
FLAP_LEFT = ((0xE2, 0xB0, 0x72), (0xCF, 0x9A, 0x5A),
             [(0.16, 0.42), (0.40, 0.42), (0.28, 0.30), (0.04, 0.30)])
FLAP_RIGHT = ((0xE2, 0xB0, 0x72), (0xCF, 0x9A, 0x5A),
              [(0.60, 0.42), (0.84, 0.42), (0.96, 0.30), (0.72, 0.30)])
ARROW = ((0x4C, 0x9A, 0xF5), (0x15, 0x5F, 0xC8),
         [(0.41, 0.04), (0.59, 0.04), (0.59, 0.40), (0.74, 0.40),
          (0.50, 0.66), (0.26, 0.40), (0.41, 0.40)])
CARTON_FRONT = ((0xD9, 0xA4, 0x63), (0xB8, 0x83, 0x46),
                [(0.16, 0.50), (0.84, 0.50), (0.84, 0.94), (0.16, 0.94)])
TAPE = ((0xF0, 0xD7, 0xA8), (0xE4, 0xC6, 0x8F),
        [(0.44, 0.50), (0.56, 0.50), (0.56, 0.94), (0.44, 0.94)])
SHAPES = (CARTON_BACK, FLAP_LEFT, FLAP_RIGHT, ARROW, CARTON_FRONT, TAPE)
OUTLINE = (0x5A, 0x3A, 0x1C)


def inside(points, x, y):
    hit = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def blend(top, bottom, t):
    return tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))


def render(size):
    """Rows of (r, g, b, a), top row first."""
    rows = []
    # The front's outline is one pixel wide at any size.
    edge = 1.0 / size
    for py in range(size):
        row = []
        for px in range(size):
            total = [0.0, 0.0, 0.0]
            covered = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for top, bottom, points in SHAPES:
                        if inside(points, x, y):
                            ys = [p[1] for p in points]
                            t = (y - min(ys)) / max(max(ys) - min(ys), 1e-9)
                            colour = blend(top, bottom, t)
                    if colour is not None and size >= 24:
                        front = CARTON_FRONT[2]
                        if inside(front, x, y) and not inside(
                                [(0.16 + edge, 0.50 + edge), (0.84 - edge, 0.50 + edge),
                                 (0.84 - edge, 0.94 - edge), (0.16 + edge, 0.94 - edge)], x, y):
                            colour = OUTLINE
                    if colour is not None:
                        covered += 1
                        for k in range(3):
                            total[k] += colour[k]
            if covered:
                row.append(tuple(round(c / covered) for c in total) + (round(255 * covered / SAMPLES ** 2),))
            else:
                row.append((0, 0, 0, 0))
        rows.append(row)
    return rows


def bitmap_entry(size, rows):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b''.join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + pixels + bytes(mask)


def png_entry(size, rows):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    raw = b''.join(b'\x00' + b''.join(bytes(p) for p in row) for row in rows)
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', size, size, 8, 6, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(raw, 9)) + chunk(b'IEND', b''))


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png_entry(size, rows) if size >= 256 else bitmap_entry(size, rows)))
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        dimension = 0 if size >= 256 else size
        out += struct.pack('<BBBBHHII', dimension, dimension, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b''.join(data for _, data in images)
    with open(sys.argv[1], 'wb') as target:
        target.write(out)


if __name__ == '__main__':
    main()
