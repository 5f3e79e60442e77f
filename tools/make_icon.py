#!/usr/bin/env python3
"""Writes the program icon: a 32x32, 16-colour page of text with a folded corner.

The picture is drawn from the character map below, so the .ico that is
committed can be made again byte for byte:  tools/make_icon.py resources/tarvo.ico
"""
import struct
import sys

# '.' transparent, 'W' white paper, 'K' black outline and text lines.
PAGE = [
    "................................",
    "................................",
    "....KKKKKKKKKKKKKKKKKKK.........",
    "....KWWWWWWWWWWWWWWWWWKK........",
    "....KWWWWWWWWWWWWWWWWWKWK.......",
    "....KWWWWWWWWWWWWWWWWWKWWK......",
    "....KWWWWWWWWWWWWWWWWWKWWWK.....",
    "....KWWWWWWWWWWWWWWWWWKWWWWK....",
    "....KWWKKKKKKKKKKKKWWWKKKKKKK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKKKKWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKKWWWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKKKKKWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKWWWWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKKKKWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKKKKKWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKWWWWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWKKKKKKKKKKKKKKKKKKWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KWWWWWWWWWWWWWWWWWWWWWWWK...",
    "....KKKKKKKKKKKKKKKKKKKKKKKKK...",
    "................................",
    "................................",
    "................................",
]

# The standard 16-colour palette, as blue, green, red, reserved.
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128),
    (128, 0, 0), (128, 0, 128), (128, 128, 0), (192, 192, 192),
    (128, 128, 128), (0, 0, 255), (0, 255, 0), (0, 255, 255),
    (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
INDEX = {".": 0, "K": 0, "W": 15}


def image():
    size = 32
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor = bytearray()
    mask = bytearray()
    for row in reversed(PAGE):  # bottom-up rows
        assert len(row) == size
        for x in range(0, size, 2):
            xor.append(INDEX[row[x]] << 4 | INDEX[row[x + 1]])
        bits = 0
        for ch in row:
            bits = bits << 1 | (ch == ".")
        mask += bits.to_bytes(4, "big")
    return header + palette + bytes(xor) + bytes(mask)


def main():
    data = image()
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 32, 32, 16, 0, 1, 4, len(data), 6 + 16)
    with open(sys.argv[1], "wb") as out:
        out.write(directory + entry + data)


if __name__ == "__main__":
    main()
