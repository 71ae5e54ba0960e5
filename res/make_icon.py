#!/usr/bin/env python3
"""Draws the uninstaller's application icon: a blue shield with a white check on a transparent
background, one 32x32 image with a 256-colour palette. Writes tolvane.ico beside this script.
The output is deterministic; the committed icon is what this script writes."""
import os
import struct

SIZE = 32
TRANSPARENT, EDGE, FILL, MARK = 0, 1, 2, 3
palette = [(0, 0, 0)] * 256
palette[EDGE] = (0x10, 0x2A, 0x5C)
palette[FILL] = (0x2E, 0x6B, 0xD0)
palette[MARK] = (0xFF, 0xFF, 0xFF)


def inside_shield(x, y):
    # Flat top from row 3, straight sides to row 16, then a curve down to a point at row 29.
    cx = 15.5
    if y < 3 or y > 29:
        return False
    if y <= 16:
        half = 12.0
    else:
        t = (y - 16) / 13.0
        half = 12.0 * (1.0 - t * t) ** 0.5 if t < 1 else 0.5
    return abs(x - cx) <= half


def on_check(x, y):
    # Two strokes: short one down-right, long one up-right.
    def near(ax, ay, bx, by):
        dx, dy = bx - ax, by - ay
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / float(dx * dx + dy * dy)))
        px, py = ax + t * dx, ay + t * dy
        return (x - px) ** 2 + (y - py) ** 2 <= 2.6
    return near(9, 15, 14, 20) or near(14, 20, 23, 10)


pixels = [[TRANSPARENT] * SIZE for _ in range(SIZE)]
for y in range(SIZE):
    for x in range(SIZE):
        if inside_shield(x, y):
            edge = not all(inside_shield(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
            pixels[y][x] = EDGE if edge else (MARK if on_check(x, y) else FILL)

xor = bytearray()
mask = bytearray()
for y in reversed(range(SIZE)):  # bottom-up rows
    xor.extend(pixels[y])
    bits = 0
    row = bytearray()
    for x in range(SIZE):
        bits = (bits << 1) | (1 if pixels[y][x] == TRANSPARENT else 0)
        if x % 8 == 7:
            row.append(bits)
            bits = 0
    mask.extend(row)  # 32 pixels = 4 bytes, already DWORD aligned

header = struct.pack('<IiiHHIIiiII', 40, SIZE, SIZE * 2, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
pal = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
image = header + pal + bytes(xor) + bytes(mask)
icondir = struct.pack('<HHH', 0, 1, 1)
entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, 1, 8, len(image), 6 + 16)
out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'tolvane.ico')
with open(out, 'wb') as f:
    f.write(icondir + entry + image)
