#!/usr/bin/env python3
"""Draws the 12 tree icons of Copperfold's views into one 192 x 16 bitmap strip.

usage: make_tree_icons.py OUTPUT.bmp

Our own artwork, drawn here pixel by pixel: 16 x 16 pictures side by side, 16 colours (the
classic 16-colour palette), magenta (255, 0, 255) for transparent. Index and picture:
  0 closed folder            1 open folder
  2 closed folder, tick      3 open folder, tick
  4 hard disk                5 hard disk (fixed drive)
  6 optical disc             7 removable drive
  8 network drive            9 memory chip (RAM disk)
 10 two blocks with a tick  11 blank page (file)
"""

from __future__ import annotations

import struct
import sys

PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
    (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
    (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
K, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GREY, RED, LIME, YELLOW, BLUE, CLEAR, AQUA, WHITE = range(16)
SIZE = 16


class Picture:
    def __init__(self) -> None:
        self.pixels = [[CLEAR] * SIZE for _ in range(SIZE)]

    def dot(self, x: int, y: int, colour: int) -> None:
        if 0 <= x < SIZE and 0 <= y < SIZE:
            self.pixels[y][x] = colour

    def fill(self, x0: int, y0: int, x1: int, y1: int, colour: int) -> None:
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.dot(x, y, colour)

    def frame(self, x0: int, y0: int, x1: int, y1: int, colour: int) -> None:
        for x in range(x0, x1 + 1):
            self.dot(x, y0, colour)
            self.dot(x, y1, colour)
        for y in range(y0, y1 + 1):
            self.dot(x0, y, colour)
            self.dot(x1, y, colour)


def closed_folder(p: Picture) -> None:
    p.fill(1, 3, 6, 4, YELLOW)          # the tab
    p.frame(1, 2, 6, 4, OLIVE)
    p.fill(1, 4, 14, 13, YELLOW)        # the body
    p.frame(1, 4, 14, 13, OLIVE)
    p.fill(2, 5, 13, 5, WHITE)          # light along the top edge
    p.fill(2, 13, 14, 13, K)            # shadow
    p.fill(14, 5, 14, 13, K)


def open_folder(p: Picture) -> None:
    p.fill(1, 3, 6, 4, YELLOW)
    p.frame(1, 2, 6, 4, OLIVE)
    p.fill(1, 4, 12, 13, OLIVE)         # the back, in shade
    p.frame(1, 4, 12, 13, K)
    for row, y in enumerate(range(7, 14)):  # the front flap, leaning forward
        left = 4 - row // 2
        p.fill(left, y, left + 11, y, YELLOW)
        p.dot(left, y, OLIVE)
        p.dot(left + 11, y, K)
    p.fill(4, 7, 15, 7, K)
    p.fill(1, 13, 12, 13, K)


def tick(p: Picture) -> None:
    for x, y in [(9, 11), (10, 12), (11, 13), (12, 12), (13, 11), (14, 10), (15, 9)]:
        p.dot(x, y, GREEN)
        p.dot(x, y - 1, LIME)


def hard_disk(p: Picture) -> None:
    p.fill(1, 6, 14, 11, SILVER)
    p.frame(1, 6, 14, 11, GREY)
    p.fill(2, 5, 15, 5, WHITE)          # top face
    p.frame(1, 5, 15, 12, K)
    p.fill(3, 9, 9, 9, GREY)            # the slot
    p.dot(12, 9, LIME)                  # the activity light
    p.dot(13, 9, GREEN)


def optical_disc(p: Picture) -> None:
    for y in range(SIZE):
        for x in range(SIZE):
            d2 = (x - 7.5) ** 2 + (y - 7.5) ** 2
            if d2 <= 7.5 ** 2:
                p.dot(x, y, GREY if d2 > 6.5 ** 2 else SILVER)
            if 3.0 ** 2 < d2 <= 5.5 ** 2 and x < y:
                p.dot(x, y, AQUA if (x + y) % 3 else WHITE)
            if 3.0 ** 2 < d2 <= 5.5 ** 2 and x > y + 2:
                p.dot(x, y, WHITE)
            if d2 <= 1.6 ** 2:
                p.dot(x, y, CLEAR)
            elif d2 <= 2.4 ** 2:
                p.dot(x, y, GREY)


def removable_drive(p: Picture) -> None:
    p.fill(1, 5, 10, 11, NAVY)          # the body
    p.frame(1, 5, 10, 11, K)
    p.fill(2, 6, 9, 6, BLUE)
    p.fill(11, 6, 14, 10, SILVER)       # the plug
    p.frame(11, 6, 14, 10, GREY)
    p.dot(12, 8, K)
    p.dot(13, 8, K)
    p.fill(3, 8, 7, 9, WHITE)           # the label
    p.dot(9, 10, LIME)


def network_drive(p: Picture) -> None:
    p.fill(1, 2, 14, 7, SILVER)
    p.frame(1, 1, 15, 8, K)
    p.fill(2, 2, 14, 2, WHITE)
    p.fill(3, 5, 9, 5, GREY)
    p.dot(12, 5, LIME)
    p.fill(7, 9, 8, 12, K)              # the cable down to the wire
    p.fill(1, 13, 14, 13, K)
    p.fill(5, 12, 10, 14, TEAL)
    p.frame(5, 12, 10, 14, K)


def memory_chip(p: Picture) -> None:
    p.fill(2, 4, 13, 11, K)
    p.fill(3, 5, 12, 5, GREY)
    for x in range(3, 13, 2):           # the legs
        p.fill(x, 2, x, 3, SILVER)
        p.fill(x, 12, x, 13, SILVER)
    p.dot(4, 10, WHITE)                 # the notch mark


def two_blocks(p: Picture) -> None:
    p.fill(1, 2, 7, 8, BLUE)
    p.frame(1, 2, 7, 8, NAVY)
    p.fill(5, 6, 11, 12, AQUA)
    p.frame(5, 6, 11, 12, TEAL)
    tick(p)


def blank_page(p: Picture) -> None:
    p.fill(3, 1, 12, 14, WHITE)
    p.frame(2, 0, 13, 15, GREY)
    for y in range(0, 4):               # the folded corner
        for x in range(10 + y, 14):
            p.dot(x, y, CLEAR)
    for i in range(4):
        p.dot(10 + i, i, GREY)
    p.fill(10, 0, 10, 3, GREY)
    p.fill(10, 3, 13, 3, GREY)
    p.fill(11, 1, 11, 2, SILVER)
    p.dot(12, 2, SILVER)


def with_tick(draw):
    def both(p: Picture) -> None:
        draw(p)
        tick(p)
    return both


DRAWINGS = [closed_folder, open_folder, with_tick(closed_folder), with_tick(open_folder), hard_disk,
            hard_disk, optical_disc, removable_drive, network_drive, memory_chip, two_blocks, blank_page]


def strip_bmp(pictures: list[Picture]) -> bytes:
    width, height = SIZE * len(pictures), SIZE
    row_bytes = (width * 4 + 31) // 32 * 4
    rows = []
    for y in reversed(range(height)):   # bottom-up
        nibbles = [pictures[x // SIZE].pixels[y][x % SIZE] for x in range(width)]
        row = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, width, 2))
        rows.append(row + b"\0" * (row_bytes - len(row)))
    pixels = b"".join(rows)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 4, 0, len(pixels), 2835, 2835, 16, 16)
    offset = 14 + len(info) + len(palette)
    header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    return header + info + palette + pixels


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    pictures = []
    for draw in DRAWINGS:
        picture = Picture()
        draw(picture)
        pictures.append(picture)
    with open(argv[1], "wb") as out:
        out.write(strip_bmp(pictures))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
