#!/usr/bin/env python3
"""Draws sample.bmp, the default picture of ./dev view: 320 x 240, 24 bits.

A blue-to-orange diagonal gradient, eight colour bars along the top, a
checkerboard in the lower left corner and a white ring in the middle, so a
screenshot shows at once whether the image is upright, unmirrored and in the
right colours. Only the standard library is used.
"""
import os
import struct

W, H = 320, 240
BARS = [(255, 255, 255), (255, 255, 0), (0, 255, 255), (0, 255, 0),
        (255, 0, 255), (255, 0, 0), (0, 0, 255), (0, 0, 0)]


def pixel(x, y):
    if y < 40:
        return BARS[x * len(BARS) // W]
    if x < 80 and y >= 160:
        return (230, 230, 230) if ((x // 10) + (y // 10)) % 2 else (30, 30, 30)
    d2 = (x - 200) ** 2 + (y - 140) ** 2
    if 45 ** 2 <= d2 <= 55 ** 2:
        return (255, 255, 255)
    t = (x + y) / (W + H)
    return (int(40 + 200 * t), int(80 + 80 * t), int(200 - 170 * t))


def main():
    row = (W * 3 + 3) & ~3
    data = bytearray()
    for y in range(H - 1, -1, -1):
        line = bytearray()
        for x in range(W):
            r, g, b = pixel(x, y)
            line += bytes((b, g, r))
        data += line + bytes(row - len(line))
    header = struct.pack('<2sIHHI', b'BM', 54 + len(data), 0, 0, 54)
    info = struct.pack('<IiiHHIIiiII', 40, W, H, 1, 24, 0, len(data), 3780, 3780, 0, 0)
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), 'sample.bmp')
    with open(out, 'wb') as f:
        f.write(header + info + data)


if __name__ == '__main__':
    main()
