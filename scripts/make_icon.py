#!/usr/bin/env python3
"""Draws the Launcher's icon (16, 32, 48 and 256 pixels) into an .ico file.

The icon is the project's own drawing: a rounded square in two blues with a white
arrow leaving a box. Run it again only to change the drawing:
    python3 scripts/make_icon.py launcher/resources/tarvex.ico
"""
import struct
import sys
import zlib


def pixel(x, y, n):
    """RGBA of the pixel at (x, y) in an n-by-n image, drawn in unit coordinates."""
    u, v = (x + 0.5) / n, (y + 0.5) / n
    r = 0.18
    cx = min(max(u, r), 1 - r)
    cy = min(max(v, r), 1 - r)
    if (u - cx) ** 2 + (v - cy) ** 2 > r * r:
        return (0, 0, 0, 0)
    top = (40, 96, 200)
    bottom = (20, 50, 120)
    col = tuple(int(top[i] * (1 - v) + bottom[i] * v) for i in range(3))
    white = (250, 250, 250, 255)
    # The box: an open square outline in the lower left.
    in_box = 0.22 <= u <= 0.62 and 0.38 <= v <= 0.78
    inner = 0.30 <= u <= 0.54 and 0.46 <= v <= 0.70
    if in_box and not inner:
        return white
    # The arrow: a shaft from the box to the upper right and its head.
    d = abs((u - 0.42) - (0.58 - v)) / 1.414
    if d < 0.05 and 0.42 <= u <= 0.74 and 0.26 <= v <= 0.58:
        return white
    if 0.58 <= u <= 0.80 and 0.20 <= v <= 0.42 and (u - 0.58) + (0.42 - v) >= 0.18:
        return white
    return col + (255,)


def bmp_image(n):
    """A 32-bit DIB as stored in an icon: header, bottom-up pixels, AND mask."""
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(n - 1, -1, -1):
        rows.append(b"".join(struct.pack("BBBB", p[2], p[1], p[0], p[3]) for p in (pixel(x, y, n) for x in range(n))))
    mask_row = ((n + 31) // 32) * 4
    return header + b"".join(rows) + b"\0" * (mask_row * n)


def png_image(n):
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b"".join(b"\0" + b"".join(bytes(pixel(x, y, n)) for x in range(n)) for y in range(n))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", n, n, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(path):
    sizes = [16, 32, 48, 256]
    images = [png_image(n) if n == 256 else bmp_image(n) for n in sizes]
    out = struct.pack("<HHH", 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", n % 256, n % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, "wb") as f:
        f.write(out + b"".join(images))


if __name__ == "__main__":
    main(sys.argv[1])
