#!/usr/bin/env python3
"""Writes a small .ico file (16x16 and 32x32, 32 bits per pixel): a coloured tile with a letter.

Usage: make-icon.py OUT.ico RRGGBB LETTER [SIZES]   (SIZES: "16,32" unless given)
"""
import struct
import sys

# 5x7 glyphs, one string per row, '#' = ink.
GLYPHS = {
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "O": [" ### ", "#   #", "#   #", "#   #", "#   #", "#   #", " ### "],
    "P": ["#### ", "#   #", "#   #", "#### ", "#    ", "#    ", "#    "],
    "W": ["#   #", "#   #", "#   #", "# # #", "# # #", "## ##", "#   #"],
    "X": ["#   #", "#   #", " # # ", "  #  ", " # # ", "#   #", "#   #"],
    "M": ["#   #", "## ##", "# # #", "# # #", "#   #", "#   #", "#   #"],
}


def image(size, colour, letter):
    r, g, b = colour
    scale = size // 8
    left = (size - 5 * scale) // 2
    top = (size - 7 * scale) // 2
    rows = []
    for y in range(size):  # top row first; reversed below for the bottom-up bitmap
        row = bytearray()
        for x in range(size):
            gx, gy = (x - left) // scale, (y - top) // scale
            ink = (0 <= gx < 5 and 0 <= gy < 7 and x >= left and y >= top
                   and GLYPHS[letter][gy][gx] == "#")
            edge = x in (0, size - 1) or y in (0, size - 1)
            if ink:
                row += bytes((255, 255, 255, 255))
            elif edge:
                row += bytes((b // 2, g // 2, r // 2, 255))
            else:
                row += bytes((b, g, r, 255))
        rows.append(bytes(row))
    pixels = b"".join(reversed(rows))
    mask_row = ((size + 31) // 32) * 4
    mask = bytes(mask_row * size)  # every pixel opaque
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0,
                         len(pixels) + len(mask), 0, 0, 0, 0)
    return header + pixels + mask


def main():
    out, colour_hex, letter = sys.argv[1], sys.argv[2], sys.argv[3]
    colour = tuple(int(colour_hex[i:i + 2], 16) for i in (0, 2, 4))
    sizes = [int(s) for s in (sys.argv[4] if len(sys.argv) > 4 else "16,32").split(",")]
    images = [image(size, colour, letter) for size in sizes]
    data = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip(sizes, images):
        data += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b"".join(images)
    with open(out, "wb") as f:
        f.write(data)


if __name__ == "__main__":
    main()
