#!/usr/bin/env python3
"""Draws Dockline's pictures and writes them as files the program and its resources take.

    make_dockline_art.py [OUTPUT_FOLDER]     (default: dockline/art beside this script's parent)

bar.png            slot 1: the bar's picture, 40 x 48, the copper dock with a plug
copperfold.png     slot 2: the backup program (two folders and a copper arrow), 40 x 48
explorer.png       slot 3: the program folder, 40 x 48
notifier.bmp       the notice's skin, 148 x 120, 24 bits per pixel
dockline.ico       the program icon, 16 x 16 and 32 x 32, 32 bits per pixel

Everything is drawn here from simple shapes in the copper palette of Copperfold's icons, with
anti-aliased edges (four samples a pixel each way). The output is the same on every run.
"""

import math
import os
import struct
import sys
import zlib

COPPER_DARK = (110, 52, 18)
COPPER = (184, 115, 51)
ORANGE = (222, 146, 74)
ORANGE_LIGHT = (246, 196, 130)
PAPER = (255, 255, 255)
SLATE = (58, 66, 78)
SLATE_LIGHT = (92, 104, 120)
SKY = (206, 228, 242)

SAMPLES = 4


class Canvas:
    """RGBA pixels, painted with shapes given as inside-tests on continuous coordinates."""

    def __init__(self, width, height, background=(0, 0, 0, 0)):
        self.width, self.height = width, height
        self.pixels = [list(background) for _ in range(width * height)]

    def fill(self, inside, colour, alpha=255):
        for y in range(self.height):
            for x in range(self.width):
                hits = 0
                for sy in range(SAMPLES):
                    for sx in range(SAMPLES):
                        if inside(x + (sx + 0.5) / SAMPLES, y + (sy + 0.5) / SAMPLES):
                            hits += 1
                if not hits:
                    continue
                a = alpha * hits / (SAMPLES * SAMPLES) / 255.0
                p = self.pixels[y * self.width + x]
                under = p[3] / 255.0
                out = a + under * (1 - a)
                for c in range(3):
                    p[c] = round((colour[c] * a + p[c] * under * (1 - a)) / out) if out else 0
                p[3] = round(out * 255)

    def gradient(self, top, bottom):
        for y in range(self.height):
            t = y / max(1, self.height - 1)
            colour = [round(top[c] + (bottom[c] - top[c]) * t) for c in range(3)]
            for x in range(self.width):
                self.pixels[y * self.width + x] = colour + [255]


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def ring(cx, cy, r, width):
    return lambda x, y: (r - width) ** 2 <= (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def polygon(points):
    def inside(x, y):
        result = False
        j = len(points) - 1
        for i, (xi, yi) in enumerate(points):
            xj, yj = points[j]
            if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                result = not result
            j = i
        return result
    return inside


def folder(canvas, x, y, w, h, colour, edge):
    canvas.fill(rounded_rect(x, y, x + w * 0.45, y + h * 0.3, 1.5), edge)
    canvas.fill(rounded_rect(x, y + h * 0.15, x + w, y + h, 2), edge)
    canvas.fill(rounded_rect(x + 1, y + h * 0.15 + 1, x + w - 1, y + h - 1, 1.5), colour)


def button_base(canvas):
    canvas.fill(rounded_rect(3, 5, 37, 43, 7), COPPER_DARK)
    canvas.fill(rounded_rect(4, 6, 36, 42, 6), SLATE)
    canvas.fill(rounded_rect(5, 7, 35, 24, 5), SLATE_LIGHT, alpha=90)


def draw_bar():
    c = Canvas(40, 48)
    c.fill(rounded_rect(2, 2, 38, 46, 8), COPPER_DARK)
    c.fill(rounded_rect(3, 3, 37, 45, 7), COPPER)
    c.fill(rounded_rect(4, 4, 36, 22, 6), ORANGE_LIGHT, alpha=110)
    # A plug: body, two pins and a cable.
    c.fill(rounded_rect(13, 17, 27, 31, 2.5), PAPER)
    c.fill(rounded_rect(15.5, 10, 18, 17.5, 0.8), PAPER)
    c.fill(rounded_rect(22, 10, 24.5, 17.5, 0.8), PAPER)
    c.fill(rounded_rect(18.5, 31, 21.5, 39, 1), PAPER)
    c.fill(rounded_rect(16, 22, 24, 24, 1), COPPER, alpha=160)
    return c


def draw_copperfold():
    c = Canvas(40, 48)
    button_base(c)
    folder(c, 8, 13, 15, 12, ORANGE, COPPER_DARK)
    folder(c, 17, 26, 15, 12, ORANGE_LIGHT, COPPER_DARK)
    c.fill(polygon([(13, 29), (13, 33), (17, 33), (17, 36), (21.5, 31), (17, 26), (17, 29)]), PAPER)
    return c


def draw_explorer():
    c = Canvas(40, 48)
    button_base(c)
    folder(c, 9, 14, 22, 20, ORANGE, COPPER_DARK)
    c.fill(rounded_rect(11, 20, 29, 21.5, 0.7), COPPER_DARK, alpha=120)
    c.fill(rounded_rect(11, 24, 25, 25.5, 0.7), COPPER_DARK, alpha=120)
    return c


def draw_notifier():
    c = Canvas(148, 120)
    c.gradient((252, 246, 238), (238, 222, 204))
    c.fill(lambda x, y: y < 30, COPPER)
    c.fill(lambda x, y: y < 30 and y > 26, COPPER_DARK, alpha=140)
    c.fill(lambda x, y: x < 1 or x > 147 or y > 119, COPPER_DARK)
    # The bar's plug, small, at the left of the title band.
    c.fill(rounded_rect(8, 11, 16, 19, 1.5), PAPER)
    c.fill(rounded_rect(9.5, 6, 11, 11.5, 0.5), PAPER)
    c.fill(rounded_rect(13, 6, 14.5, 11.5, 0.5), PAPER)
    c.fill(rounded_rect(11.2, 19, 12.8, 24, 0.6), PAPER)
    # Three dots for the title band's right end.
    for x in (124, 131, 138):
        c.fill(circle(x, 15, 2), ORANGE_LIGHT)
    return c


def draw_icon(size):
    c = Canvas(size, size)
    s = size / 32.0
    c.fill(rounded_rect(1 * s, 1 * s, 31 * s, 31 * s, 7 * s), COPPER_DARK)
    c.fill(rounded_rect(2 * s, 2 * s, 30 * s, 30 * s, 6 * s), COPPER)
    c.fill(rounded_rect(3 * s, 3 * s, 29 * s, 15 * s, 5 * s), ORANGE_LIGHT, alpha=110)
    c.fill(rounded_rect(10 * s, 13 * s, 22 * s, 23 * s, 2 * s), PAPER)
    c.fill(rounded_rect(12 * s, 6 * s, 14.5 * s, 13.5 * s, 0.8 * s), PAPER)
    c.fill(rounded_rect(17.5 * s, 6 * s, 20 * s, 13.5 * s, 0.8 * s), PAPER)
    c.fill(rounded_rect(14.5 * s, 23 * s, 17.5 * s, 29 * s, 1 * s), PAPER)
    return c


def png_bytes(canvas):
    raw = bytearray()
    for y in range(canvas.height):
        raw.append(0)
        for x in range(canvas.width):
            raw.extend(canvas.pixels[y * canvas.width + x])

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) +
            chunk(b"IEND", b""))


def bmp24_bytes(canvas):
    row = (canvas.width * 3 + 3) & ~3
    pixels = bytearray()
    for y in reversed(range(canvas.height)):
        line = bytearray()
        for x in range(canvas.width):
            r, g, b, _ = canvas.pixels[y * canvas.width + x]
            line += bytes((b, g, r))
        pixels += line + b"\0" * (row - len(line))
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height, 1, 24, 0, len(pixels), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + len(info) + len(pixels), 0, 0, 14 + len(info)) + info + pixels


def icon_image(canvas):
    xor = bytearray()
    for y in reversed(range(canvas.height)):
        for x in range(canvas.width):
            r, g, b, a = canvas.pixels[y * canvas.width + x]
            xor += bytes((b, g, r, a))
    mask_row = ((canvas.width + 31) // 32) * 4
    mask = b"\0" * (mask_row * canvas.height)
    info = struct.pack("<IiiHHIIiiII", 40, canvas.width, canvas.height * 2, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + xor + mask


def ico_bytes(canvases):
    images = [icon_image(c) for c in canvases]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for canvas, image in zip(canvases, images):
        out += struct.pack("<BBBBHHII", canvas.width, canvas.height, 0, 0, 1, 32, len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def write_art(default_folder, files):
    """Writes the files (name: bytes) into the folder the command line names, or else into
    default_folder (relative to the project's top folder)."""
    here = os.path.dirname(os.path.abspath(__file__))
    folder_out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", default_folder)
    os.makedirs(folder_out, exist_ok=True)
    for name, data in files.items():
        with open(os.path.join(folder_out, name), "wb") as f:
            f.write(data)
    return 0


def main():
    return write_art(os.path.join("dockline", "art"), {
        "bar.png": png_bytes(draw_bar()),
        "copperfold.png": png_bytes(draw_copperfold()),
        "explorer.png": png_bytes(draw_explorer()),
        "notifier.bmp": bmp24_bytes(draw_notifier()),
        "dockline.ico": ico_bytes([draw_icon(16), draw_icon(32)]),
    })


if __name__ == "__main__":
    sys.exit(main())
