#!/usr/bin/env python3
"""Draws the setup program's picture: the side panel of its last page (and of a first page,
should it get one), 164 x 314, 24 bits per pixel, as the installer's wizard pages take it.

    make_setup_art.py [OUTPUT.bmp]     (default: installer/art/wizard.bmp beside this script's parent)

Two folders and the copper arrow of Copperfold's button above the enclosure they go onto, on a
copper panel; drawn from simple shapes with the helpers and the palette of Dockline's pictures
(tools/make_dockline_art.py). The output is the same on every run.
"""

import os
import sys

from make_dockline_art import (COPPER, COPPER_DARK, ORANGE, ORANGE_LIGHT, PAPER, SLATE, SLATE_LIGHT, Canvas,
                               bmp24_bytes, circle, folder, polygon, ring, rounded_rect)

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


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    output = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "installer", "art", "wizard.bmp")
    os.makedirs(os.path.dirname(os.path.abspath(output)), exist_ok=True)
    with open(output, "wb") as f:
        f.write(bmp24_bytes(draw_wizard()))
    return 0


if __name__ == "__main__":
    sys.exit(main())
