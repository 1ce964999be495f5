#!/usr/bin/env python3
"""Draws the program's icon and writes it as a .ico file:
    python3 scripts/make-icon.py OUT.ico

A blue rounded square with a white arrow rising from a tray (the tool
uploads), at 16, 32 and 48 pixels, each a 16-colour bitmap with a
transparency mask. Every pixel is the colour covering most of its 4x4
samples, so small sizes stay crisp.
"""
import struct
import sys

SIZES = (16, 32, 48)
SAMPLES = 4
# Palette indices; index 0 is drawn where the mask makes the icon transparent.
CLEAR, EDGE, FILL, WHITE = 0, 1, 2, 3
PALETTE = [(0, 0, 0), (0x12, 0x3A, 0x72), (0x24, 0x6C, 0xC8), (0xFF, 0xFF, 0xFF)]
PALETTE += [(0, 0, 0)] * (16 - len(PALETTE))


def in_rounded_square(u, v, inset):
    lo, hi, radius = 0.03 + inset, 0.97 - inset, 0.18 - inset
    cu = min(max(u, lo + radius), hi - radius)
    cv = min(max(v, lo + radius), hi - radius)
    return lo <= u <= hi and lo <= v <= hi and (u - cu) ** 2 + (v - cv) ** 2 <= radius**2


def in_arrow(u, v):
    head = 0.16 <= v <= 0.44 and abs(u - 0.5) <= 0.27 * (v - 0.16) / 0.28
    shaft = 0.40 <= v <= 0.68 and abs(u - 0.5) <= 0.085
    tray = 0.75 <= v <= 0.84 and 0.22 <= u <= 0.78
    return head or shaft or tray


def colour_at(u, v, edge_width):
    if not in_rounded_square(u, v, 0.0):
        return CLEAR
    if not in_rounded_square(u, v, edge_width):
        return EDGE
    return WHITE if in_arrow(u, v) else FILL


def draw(size):
    """Rows of palette indices, top row first."""
    rows = []
    for y in range(size):
        row = []
        for x in range(size):
            counts = [0] * 4
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    u = (x + (sx + 0.5) / SAMPLES) / size
                    v = (y + (sy + 0.5) / SAMPLES) / size
                    counts[colour_at(u, v, 1.0 / size)] += 1
            row.append(max(range(4), key=lambda c: (counts[c], c)))
        rows.append(row)
    return rows


def padded(data):
    return data + b"\0" * (-len(data) % 4)


def bitmap(size):
    """The icon image: header, palette, 4-bit colours and 1-bit mask, bottom row first."""
    rows = draw(size)[::-1]
    colours = b"".join(
        padded(bytes(row[i] << 4 | row[i + 1] for i in range(0, size, 2))) for row in rows
    )
    mask = b""
    for row in rows:
        bits = bytearray((size + 7) // 8)
        for x, c in enumerate(row):
            if c == CLEAR:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += padded(bytes(bits))
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 4, 0,
                         len(colours) + len(mask), 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    return header + palette + colours + mask


def icon():
    images = [bitmap(size) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, image in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


if __name__ == "__main__":
    if len(sys.argv) != 2:
        sys.exit("usage: make-icon.py OUT.ico")
    with open(sys.argv[1], "wb") as f:
        f.write(icon())
