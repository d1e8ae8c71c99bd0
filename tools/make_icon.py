#!/usr/bin/env python3
"""Draws the installer's icon and writes it as a Windows .ico file.

    python3 tools/make_icon.py [--out res/installer.ico]

The icon group holds seven 32-bit images (256, 128, 64, 48, 32, 24 and 16
pixels): the two large ones as PNG, which keeps the program small, the others
as BMP with an AND mask, which every icon loader reads. The design is a rounded dark tile with a fin rising out of a
water line, in the product's colours. Every image is rendered on its own with
supersampled edges, so the small sizes stay crisp. The output depends only on
this file: the same bytes on every run, so the committed .ico can be checked.
"""
import argparse
import struct
import sys
import zlib
from pathlib import Path

SIZES = (256, 128, 64, 48, 32, 24, 16)
BACKGROUND = (8, 15, 29)
ACCENT = (106, 220, 242)
SUBSAMPLES = 4  # per axis
PNG_SIZES = (256, 128)


def _tile(x: float, y: float) -> bool:
    """The rounded square, in unit coordinates (0..1), with a small margin."""
    lo, hi, r = 0.03, 0.97, 0.2
    if not (lo <= x <= hi and lo <= y <= hi):
        return False
    cx = min(max(x, lo + r), hi - r)
    cy = min(max(y, lo + r), hi - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def _fin(x: float, y: float) -> bool:
    """A dorsal fin: convex leading edge on the left, concave trailing edge."""
    tip_x, tip_y, base_y, left, right = 0.64, 0.18, 0.70, 0.22, 0.80
    if not (tip_y <= y <= base_y):
        return False
    t = (y - tip_y) / (base_y - tip_y)
    x_left = tip_x - (tip_x - left) * t ** 0.55
    x_right = tip_x + (right - tip_x) * t ** 2.2
    return x_left <= x <= x_right


def _water(x: float, y: float) -> bool:
    """A bar with round ends under the fin."""
    top, bottom, left, right = 0.73, 0.81, 0.16, 0.84
    r = (bottom - top) / 2
    cy = top + r
    if left + r <= x <= right - r:
        return top <= y <= bottom
    cx = left + r if x < left + r else right - r
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def render(size: int):
    """Rows of (r, g, b, a) tuples, top row first."""
    n = SUBSAMPLES
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            tile = accent = 0
            for sy in range(n):
                y = (py + (sy + 0.5) / n) / size
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    if _tile(x, y):
                        tile += 1
                        if _fin(x, y) or _water(x, y):
                            accent += 1
            if tile == 0:
                row.append((0, 0, 0, 0))
                continue
            # Colour is the mix inside the tile; alpha is the tile's coverage.
            mix = [round((BACKGROUND[i] * (tile - accent) + ACCENT[i] * accent) / tile) for i in range(3)]
            row.append((mix[0], mix[1], mix[2], round(255 * tile / (n * n))))
        rows.append(row)
    return rows


def png(rows) -> bytes:
    size = len(rows)
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in rows)

    def chunk(kind: bytes, data: bytes) -> bytes:
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def bmp(rows) -> bytes:
    """A DIB as icons hold it: double height, BGRA rows bottom-up, then the AND mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    pixels = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        bits = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + pixels + bytes(mask)


def ico(images) -> bytes:
    """images: (size, data) pairs in directory order."""
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in images:
        edge = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", edge, edge, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, data in images)


def build() -> bytes:
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size in PNG_SIZES else bmp(rows)))
    return ico(images)


def main(argv=None) -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    default = Path(__file__).resolve().parent.parent / "res" / "installer.ico"
    parser.add_argument("--out", type=Path, default=default)
    args = parser.parse_args(argv)
    data = build()
    args.out.write_bytes(data)
    print(f"{args.out}: {len(data)} bytes")
    return 0


if __name__ == "__main__":
    sys.exit(main())
