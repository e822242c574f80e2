#!/usr/bin/env python3
"""Writes kelvarid.ico: 32 x 32 pixels, 256 colours, violet and orange rings on black.

The picture is computed, not drawn, so the same script always writes the same bytes:
    python3 platform/resources/make_icon.py platform/resources/kelvarid.ico
"""
import math
import struct
import sys

SIZE = 32
VIOLET = (0x8A, 0x2B, 0xE2)
ORANGE = (0xFF, 0x80, 0x00)


def palette():
    # 0 is black; then 127 shades of violet and 128 of orange, dark to bright.
    colours = [(0, 0, 0)]
    for base, count in ((VIOLET, 127), (ORANGE, 128)):
        for i in range(count):
            k = (i + 1) / count
            colours.append(tuple(round(c * k) for c in base))
    return colours


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    dx, dy = x - cx, y - cy
    r = math.hypot(dx, dy)
    if r > 15.5 or r < 3.0:
        return 0
    angle = math.atan2(dy, dx)
    # Rings 3 px wide that twist with the angle, alternating violet and orange.
    phase = (r + 1.5 * math.sin(3 * angle)) / 3.0
    ring = int(math.floor(phase))
    inside = phase - ring
    glow = math.sin(math.pi * inside)
    if glow < 0.25:
        return 0
    shade = min(1.0, 0.35 + 0.65 * glow)
    if ring % 2 == 0:
        return 1 + min(126, int(shade * 126))
    return 128 + min(127, int(shade * 127))


def icon_bytes():
    colours = palette()
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in colours)
    xor = b''.join(bytes(row) for row in reversed(rows))  # bottom-up
    and_mask = bytes(SIZE * SIZE // 8)  # fully opaque
    image = header + table + xor + and_mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


if __name__ == '__main__':
    with open(sys.argv[1], 'wb') as out:
        out.write(icon_bytes())
