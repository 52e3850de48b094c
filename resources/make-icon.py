#!/usr/bin/env python3
"""Writes install.ico (one 32 x 32 image, 4 bits per pixel) from install-icon.txt.

Usage: make-icon.py install-icon.txt install.ico
"""
import struct
import sys

SIZE = 32
# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Map character -> palette index; '.' is transparent (index 0, mask bit set).
COLOURS = {'.': 0, 'K': 0, 'G': 8, 'y': 11, 'o': 3, 'l': 10, 'g': 2}


def read_map(path):
    with open(path, encoding='ascii') as source:
        rows = [line.rstrip('\n') for line in source if not line.startswith('#')]
    rows = [row for row in rows if row]
    if len(rows) != SIZE or any(len(row) != SIZE for row in rows):
        sys.exit(f'{path}: the map must be {SIZE} rows of {SIZE} characters')
    return rows


def icon_bytes(rows):
    colour_rows = []
    mask_rows = []
    for row in reversed(rows):  # bitmaps are stored bottom-up
        indices = [COLOURS[c] for c in row]
        colour_rows.append(bytes(indices[x] << 4 | indices[x + 1] for x in range(0, SIZE, 2)))
        bits = ''.join('1' if c == '.' else '0' for c in row)
        mask_rows.append(int(bits, 2).to_bytes(SIZE // 8, 'big'))
    pixels = b''.join(colour_rows) + b''.join(mask_rows)
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, 4, 0, len(pixels), 0, 0, 16, 0)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for r, g, b in PALETTE)
    image = header + palette + pixels
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    with open(sys.argv[2], 'wb') as target:
        target.write(icon_bytes(read_map(sys.argv[1])))


if __name__ == '__main__':
    main()
