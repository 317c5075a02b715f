#!/usr/bin/env python3
"""Draws the run dialog's two busy animations and writes them as AVI files.

    make_busy_avi.py [OUTPUT_FOLDER]     (default: copperfold/win32 beside this script's parent)

copying.avi     a document flies from one folder into another
estimating.avi  a magnifier sweeps to and fro over a folder

The files are what the system's animation control plays: one uncompressed video stream
(8-bit palettised DIB frames, BI_RGB), no sound, RIFF 'AVI ' with hdrl/avih, one strl with
strh 'vids' and strf (BITMAPINFOHEADER and palette), a movi list of '00db' chunks and an idx1
index. The output is the same on every run, so the files can be committed and regenerated.
"""

import math
import os
import struct
import sys

WIDTH, HEIGHT = 276, 36
FRAMES = 12
FRAME_MICROSECONDS = 100_000  # 10 frames a second

# The palette: index 0 is the background, the colour of a dialog's face. It fills every corner
# of every frame, where the control's transparent mode takes the colour it leaves out.
PALETTE = [
    (240, 240, 240),  # 0 background
    (110, 52, 18),    # 1 copper, dark (outlines)
    (184, 115, 51),   # 2 copper
    (222, 146, 74),   # 3 orange
    (246, 196, 130),  # 4 orange, light
    (255, 255, 255),  # 5 paper
    (128, 128, 128),  # 6 paper outline
    (176, 176, 176),  # 7 lines of text
    (206, 228, 242),  # 8 lens
    (70, 52, 42),     # 9 handle
    (214, 196, 180),  # 10 trail
    (255, 255, 250),  # 11 lens glint
]
BACKGROUND, COPPER_DARK, COPPER, ORANGE, ORANGE_LIGHT, PAPER, PAPER_EDGE, TEXT, LENS, HANDLE, TRAIL, GLINT = range(12)


class Canvas:
    """A frame of palette indices, top row first."""

    def __init__(self):
        self.pixels = bytearray(WIDTH * HEIGHT)

    def put(self, x, y, colour):
        if 0 <= x < WIDTH and 0 <= y < HEIGHT:
            self.pixels[y * WIDTH + x] = colour

    def fill_rect(self, x0, y0, x1, y1, colour):
        """Fills [x0, x1] x [y0, y1], ends included."""
        for y in range(max(0, y0), min(HEIGHT - 1, y1) + 1):
            for x in range(max(0, x0), min(WIDTH - 1, x1) + 1):
                self.pixels[y * WIDTH + x] = colour

    def frame_rect(self, x0, y0, x1, y1, fill, edge):
        self.fill_rect(x0, y0, x1, y1, edge)
        self.fill_rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)

    def disc(self, cx, cy, radius, colour):
        r2 = radius * radius
        for y in range(int(cy - radius) - 1, int(cy + radius) + 2):
            for x in range(int(cx - radius) - 1, int(cx + radius) + 2):
                if (x - cx) ** 2 + (y - cy) ** 2 <= r2:
                    self.put(x, y, colour)

    def thick_line(self, x0, y0, x1, y1, width, colour):
        steps = int(max(abs(x1 - x0), abs(y1 - y0)) * 2) + 1
        for i in range(steps + 1):
            t = i / steps
            self.disc(x0 + (x1 - x0) * t, y0 + (y1 - y0) * t, width / 2, colour)

    def bottom_up_rows(self):
        """The frame as a DIB stores it: bottom row first (rows of 276 bytes need no padding)."""
        return b"".join(bytes(self.pixels[y * WIDTH:(y + 1) * WIDTH]) for y in range(HEIGHT - 1, -1, -1))


def folder_back(canvas, x, y):
    """The back of a folder whose top-left corner is (x, y): a tab and the back panel (34 x 24)."""
    canvas.frame_rect(x, y, x + 13, y + 4, COPPER, COPPER_DARK)
    canvas.frame_rect(x, y + 3, x + 33, y + 23, COPPER, COPPER_DARK)


def folder_front(canvas, x, y):
    """The front flap of the same folder, drawn over whatever sits in it."""
    canvas.frame_rect(x, y + 9, x + 33, y + 23, ORANGE, COPPER_DARK)
    canvas.fill_rect(x + 2, y + 10, x + 31, y + 11, ORANGE_LIGHT)


def document(canvas, x, y):
    """A sheet of 12 x 16 pixels with a few lines of text."""
    canvas.frame_rect(x, y, x + 11, y + 15, PAPER, PAPER_EDGE)
    for row in range(3, 14, 3):
        canvas.fill_rect(x + 2, y + row, x + (8 if row % 2 else 9), y + row, TEXT)


def copying_frame(index):
    canvas = Canvas()
    left, right, top = 20, 222, 9
    start_x, end_x = left + 11, right + 11
    # The path of the flight, dotted.
    for step in range(0, 41):
        t = step / 40
        x = start_x + (end_x - start_x) * t + 6
        y = top + 2 - 10 * math.sin(math.pi * t) + 8
        if step % 2 == 0 and 0.08 < t < 0.92:
            canvas.put(round(x), round(y), TRAIL)
    folder_back(canvas, left, top)
    folder_back(canvas, right, top)
    # The sheet leaves the left folder, rises and drops into the right one.
    t = index / (FRAMES - 1)
    x = round(start_x + (end_x - start_x) * t)
    y = round(top + 2 - 10 * math.sin(math.pi * t))
    document(canvas, x, y)
    folder_front(canvas, left, top)
    folder_front(canvas, right, top)
    return canvas


def magnifier(canvas, cx, cy):
    canvas.thick_line(cx + 6, cy + 6, cx + 12, cy + 12, 4, HANDLE)
    canvas.disc(cx, cy, 9, COPPER_DARK)
    canvas.disc(cx, cy, 7, LENS)
    canvas.disc(cx - 3, cy - 3, 1.5, GLINT)


def estimating_frame(index):
    canvas = Canvas()
    left, top = 121, 9
    folder_back(canvas, left, top)
    for offset in (4, 12, 19):  # the sheets the folder holds
        document(canvas, left + offset, top + 1)
    folder_front(canvas, left, top)
    # The magnifier swings from one side of the folder to the other and back.
    phase = 2 * math.pi * index / FRAMES
    cx = round(left + 17 + 30 * math.sin(phase))
    cy = round(15 + 3 * math.cos(2 * phase))
    magnifier(canvas, cx, cy)
    return canvas


def chunk(fourcc, data):
    padded = data + (b"\0" if len(data) % 2 else b"")
    return fourcc + struct.pack("<I", len(data)) + padded


def riff_list(kind, fourcc, parts):
    body = fourcc + b"".join(parts)
    return kind + struct.pack("<I", len(body)) + body


def avi_bytes(frames):
    frame_size = WIDTH * HEIGHT
    avih = struct.pack(
        "<10I4I",
        FRAME_MICROSECONDS,
        frame_size * 1_000_000 // FRAME_MICROSECONDS,  # max bytes per second
        0,            # padding granularity
        0x10,         # AVIF_HASINDEX
        len(frames),  # total frames
        0,            # initial frames
        1,            # streams
        frame_size,   # suggested buffer size
        WIDTH,
        HEIGHT,
        0, 0, 0, 0,
    )
    strh = struct.pack(
        "<4s4sIHHIIIIIIIIhhhh",
        b"vids",
        b"DIB ",
        0,                  # flags
        0, 0,               # priority, language
        0,                  # initial frames
        1,                  # scale
        1_000_000 // FRAME_MICROSECONDS,  # rate: frames per second = rate / scale
        0,                  # start
        len(frames),        # length in frames
        frame_size,         # suggested buffer size
        0xFFFFFFFF,         # quality: default
        0,                  # sample size: varies
        0, 0, WIDTH, HEIGHT,
    )
    bitmap_info = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 8, 0, frame_size, 0, 0, 256, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    palette += b"\0\0\0\0" * (256 - len(PALETTE))
    strf = bitmap_info + palette

    header = riff_list(b"LIST", b"hdrl", [
        chunk(b"avih", avih),
        riff_list(b"LIST", b"strl", [chunk(b"strh", strh), chunk(b"strf", strf)]),
    ])
    frame_chunks = [chunk(b"00db", frame.bottom_up_rows()) for frame in frames]
    movi = riff_list(b"LIST", b"movi", frame_chunks)
    # Index offsets count from the 'movi' type code.
    index, offset = [], 4
    for data in frame_chunks:
        index.append(struct.pack("<4sIII", b"00db", 0x10, offset, frame_size))  # AVIIF_KEYFRAME
        offset += len(data)
    idx1 = chunk(b"idx1", b"".join(index))
    return riff_list(b"RIFF", b"AVI ", [header, movi, idx1])


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(os.path.join(here, "..", "copperfold", "win32"))
    animations = {
        "copying.avi": [copying_frame(i) for i in range(FRAMES)],
        "estimating.avi": [estimating_frame(i) for i in range(FRAMES)],
    }
    for name, frames in animations.items():
        for frame in frames:
            corners = (frame.pixels[0], frame.pixels[WIDTH - 1], frame.pixels[-WIDTH], frame.pixels[-1])
            assert corners == (BACKGROUND,) * 4, f"{name}: a corner is not background"
        path = os.path.join(out, name)
        with open(path, "wb") as f:
            f.write(avi_bytes(frames))
        print(f"{path}: {len(frames)} frames of {WIDTH}x{HEIGHT}, {os.path.getsize(path)} bytes")


if __name__ == "__main__":
    main()
