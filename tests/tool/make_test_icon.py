#!/usr/bin/env python3
"""Writes the small icon the resource tests embed: 16x16 and 32x32, 32 bits per pixel.

A diagonal split of two colours, drawn here so that the test data is our own:
    python3 tests/tool/make_test_icon.py tests/tool/test_icon.ico
"""
import struct
import sys


def image(n):
    """BITMAPINFOHEADER, bottom-up BGRA rows, then the all-opaque AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = b""
    for y in range(n - 1, -1, -1):
        for x in range(n):
            rows += bytes((200, 120, 30, 255)) if x > y else bytes((40, 180, 240, 255))
    mask_row = ((n + 31) // 32) * 4
    return header + rows + bytes(mask_row * n)


def main(path):
    sizes = [16, 32]
    images = [image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n, n, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
