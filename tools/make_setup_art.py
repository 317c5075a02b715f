#!/usr/bin/env python3
"""Draws the setup program's pictures and writes them as the installer's pages take them.

    make_setup_art.py [OUTPUT_FOLDER]     (default: installer/art beside this script's parent)

wizard.bmp   the side panel of the last page (and of a first page, should it get one),
             164 x 314, 24 bits per pixel: two folders and the copper arrow of Copperfold's
             button above the enclosure they go onto, on a copper panel
checks.bmp   the tick boxes of the uninstaller's list of parts, six of 16 x 16 in a row at 8 bits
             per pixel (magenta is transparent): the mask, not ticked, ticked, greyed out, and
             not ticked and ticked that cannot be changed

Drawn from simple shapes with the helpers and the palette of Dockline's pictures
(tools/make_dockline_art.py). The output is the same on every run.
"""

import os
import struct
import sys

from make_dockline_art import (COPPER, COPPER_DARK, ORANGE, ORANGE_LIGHT, PAPER, SLATE, SLATE_LIGHT, Canvas,
                               bmp24_bytes, circle, folder, polygon, ring, rounded_rect, write_art)

WIDTH, HEIGHT = 164, 314


def draw_wizard():
    c = Canvas(WIDTH, HEIGHT)
    c.gradient(COPPER_DARK, COPPER)
    # A soft light from the top left, over the upper half.
    c.fill(circle(20, 20, 150), ORANGE_LIGHT, alpha=24)

    # The two folders and the arrow from one to the other, as on Copperfold's button, larger.
    folder(c, 28, 52, 62, 48, ORANGE, COPPER_DARK)
    folder(c, 72, 106, 62, 48, ORANGE_LIGHT, COPPER_DARK)
    c.fill(polygon([(48, 118), (48, 134), (66, 134), (66, 146), (86, 126), (66, 106), (66, 118)]), PAPER)

    # The enclosure below them: a slate case, its drive light and the round button.
    c.fill(rounded_rect(30, 196, 134, 262, 10), COPPER_DARK)
    c.fill(rounded_rect(32, 198, 132, 260, 9), SLATE)
    c.fill(rounded_rect(35, 201, 129, 226, 7), SLATE_LIGHT, alpha=110)
    c.fill(ring(108, 229, 13, 3), ORANGE)
    c.fill(circle(108, 229, 8), COPPER)
    c.fill(rounded_rect(44, 240, 66, 244, 2), ORANGE_LIGHT)
    # The cable it is plugged in by, up towards the folders.
    c.fill(rounded_rect(80, 166, 84, 196, 2), SLATE)
    c.fill(rounded_rect(74, 158, 90, 172, 3), PAPER)
    return c


MAGENTA = (255, 0, 255)
GREY = (160, 160, 160)
GREY_LIGHT = (200, 200, 200)
GREY_PALE = (232, 232, 232)


def draw_checks():
    """Pixel by pixel, without smoothing: the boxes are small and the file takes few colours."""
    pixels = [[MAGENTA] * 96 for _ in range(16)]

    def box(cell, edge, inside, tick):
        x0 = cell * 16
        for y in range(1, 15):
            for x in range(x0 + 1, x0 + 15):
                border = y in (1, 14) or x in (x0 + 1, x0 + 14)
                pixels[y][x] = edge if border else inside
        if tick:
            # A tick two pixels thick: down from the left, then up to the right.
            for x, y in [(3, 7), (4, 8), (5, 9), (6, 10), (7, 9), (8, 8), (9, 7), (10, 6), (11, 5), (12, 4)]:
                for dy in (0, 1):
                    pixels[y + dy][x0 + x] = tick

    box(1, COPPER_DARK, PAPER, None)
    box(2, COPPER_DARK, PAPER, COPPER)
    box(3, GREY, GREY_LIGHT, GREY_PALE)
    box(4, GREY_LIGHT, PAPER, None)
    box(5, GREY_LIGHT, PAPER, GREY_LIGHT)
    return pixels


def bmp8_bytes(pixels):
    """An 8-bit bitmap with the palette of the colours it uses, bottom row first."""
    height, width = len(pixels), len(pixels[0])
    palette = sorted({colour for row in pixels for colour in row})
    assert len(palette) <= 256
    index = {colour: i for i, colour in enumerate(palette)}
    row_size = (width + 3) & ~3
    data = bytearray()
    for row in reversed(pixels):
        data += bytes(index[colour] for colour in row) + b"\0" * (row_size - width)
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 0, len(data), 2835, 2835, len(palette), len(palette))
    offset = 14 + len(info) + len(table)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + table + bytes(data)


def main():
    return write_art(os.path.join("installer", "art"), {
        "wizard.bmp": bmp24_bytes(draw_wizard()),
        "checks.bmp": bmp8_bytes(draw_checks()),
    })


if __name__ == "__main__":
    sys.exit(main())
