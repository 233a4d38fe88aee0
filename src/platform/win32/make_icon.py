#!/usr/bin/env python3
"""Writes velane.ico, the program's icon: a small monitor with a green "V"
on its black screen, as three images: 32 x 32 in 2 colours, 32 x 32 in 16
colours and 16 x 16 in 16 colours.

    python3 make_icon.py [OUTPUT]     (default: velane.ico beside this script)
"""
import os
import struct
import sys

# The standard 16-colour palette, as (red, green, blue).
PALETTE_16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
PALETTE_2 = [(0, 0, 0), (255, 255, 255)]

CLEAR = None  # transparent pixel

# Colour roles -> palette index, per palette.
ROLES_16 = {"frame": 8, "edge": 7, "screen": 0, "mark": 10, "stand": 8}
ROLES_2 = {"frame": 1, "edge": 0, "screen": 0, "mark": 1, "stand": 1}


def draw(size, roles):
    """The picture as rows (top first) of palette indexes or CLEAR."""
    s = size / 32.0
    img = [[CLEAR] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):  # inclusive, in 32-pixel units
        for y in range(int(y0 * s), int((y1 + 1) * s)):
            for x in range(int(x0 * s), int((x1 + 1) * s)):
                img[y][x] = colour

    box(1, 3, 30, 24, roles["edge"])      # outline of the monitor
    box(2, 4, 29, 23, roles["frame"])     # its case
    box(4, 6, 27, 21, roles["screen"])    # the black screen
    box(13, 25, 18, 26, roles["stand"])   # neck
    box(8, 27, 23, 28, roles["edge"])     # base outline
    box(9, 27, 22, 27, roles["stand"])    # base
    # The "V" on the screen: two strokes meeting at the bottom.
    for step in range(0, 12):
        y = 8 + step
        left = 8 + round(step * 7 / 11)
        right = 22 - round(step * 7 / 11)
        box(left, y, left + 1, y, roles["mark"])
        box(right, y, right + 1, y, roles["mark"])
    return img


def image_bytes(img, palette, bits):
    size = len(img)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    pal = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in palette)

    def row_bytes(values, bpp):
        out = bytearray()
        acc, nbits = 0, 0
        for v in values:
            acc = (acc << bpp) | v
            nbits += bpp
            if nbits == 8:
                out.append(acc)
                acc, nbits = 0, 0
        if nbits:
            out.append(acc << (8 - nbits))
        while len(out) % 4:
            out.append(0)
        return bytes(out)

    xor = b"".join(row_bytes([0 if p is CLEAR else p for p in row], bits)
                   for row in reversed(img))
    mask = b"".join(row_bytes([1 if p is CLEAR else 0 for p in row], 1)
                    for row in reversed(img))
    return header + pal + xor + mask


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(os.path.abspath(__file__)), "velane.ico")
    images = [
        (32, 2, image_bytes(draw(32, ROLES_2), PALETTE_2, 1)),
        (32, 16, image_bytes(draw(32, ROLES_16), PALETTE_16, 4)),
        (16, 16, image_bytes(draw(16, ROLES_16), PALETTE_16, 4)),
    ]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, bodies = b"", b""
    for size, colours, body in images:
        bits = 1 if colours == 2 else 4
        entries += struct.pack("<BBBBHHII", size, size, colours, 0, 1, bits,
                               len(body), offset)
        bodies += body
        offset += len(body)
    with open(out, "wb") as f:
        f.write(data + entries + bodies)


if __name__ == "__main__":
    main()
