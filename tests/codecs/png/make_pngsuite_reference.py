#!/usr/bin/python3
"""Writes pngsuite_reference.txt: the expected RGBA pixels of every PngSuite
file, as decoded by ImageMagick, for the conformance test.

One line per file: name, width, height and the CRC-32 of the RGBA rows
(8 bits per channel, the high byte of 16-bit samples: what our reader keeps
of them), or "fail" for files that must be rejected (names starting with x).
ImageMagick is asked for 16-bit output with the colour space pinned to sRGB,
so that a gAMA chunk does not alter the samples (our reader does not apply
gamma either). Run: make_pngsuite_reference.py CORPUS/png > pngsuite_reference.txt
"""
import os
import subprocess
import sys
import zlib

MAGICK = "/usr/bin/convert-im6.q16"


def decode(path):
    size = subprocess.run([MAGICK, path, "-format", "%w %h", "info:"],
                          capture_output=True, check=True, text=True).stdout.split()
    raw = subprocess.run([MAGICK, path, "-set", "colorspace", "sRGB", "-depth", "16",
                          "-endian", "LSB", "RGBA:-"], capture_output=True, check=True).stdout
    width, height = int(size[0]), int(size[1])
    assert len(raw) == width * height * 8, path
    return width, height, raw[1::2]


def main():
    folder = sys.argv[1]
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".png"):
            continue
        if name.startswith("x"):
            print(f"{name} fail")
            continue
        width, height, rgba = decode(os.path.join(folder, name))
        print(f"{name} {width} {height} {zlib.crc32(rgba):08x}")


if __name__ == "__main__":
    main()
