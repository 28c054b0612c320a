#!/usr/bin/env python3
"""Writes a large 24-bit BMP with a smooth picture, streaming row by row, so
that images of several gigapixels can be made without holding them."""
import struct
import sys


def main():
    if len(sys.argv) != 4:
        sys.exit("usage: make_bmp.py WIDTH HEIGHT OUT.bmp")
    width, height, out = int(sys.argv[1]), int(sys.argv[2]), sys.argv[3]
    row_len = (width * 24 + 31) // 32 * 4
    image_size = row_len * height
    with open(out, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", 54 + image_size, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, image_size, 3780, 3780, 0, 0))
        # One period of a gradient, repeated: rows differ so that nothing
        # can cheat by copying one row.
        base = bytes((x * 255 // max(1, width - 1)) & 0xFF for x in range(width))
        pad = b"\0" * (row_len - width * 3)
        for y in range(height):
            g = y * 255 // max(1, height - 1)
            row = bytearray(width * 3)
            row[0::3] = base
            row[1::3] = bytes([g]) * width
            row[2::3] = base[::-1]
            f.write(row)
            f.write(pad)


if __name__ == "__main__":
    main()
