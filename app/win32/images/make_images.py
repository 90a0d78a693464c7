#!/usr/bin/env python3
"""Draws the program's pictures and writes them as Windows resources.

    make_images.py ICON_OUT BITMAP_OUT

ICON_OUT: the main icon, a MEMPOD key with a download arrow, at 16, 32 and 48 pixels, each in
16 and in 256 colours. BITMAP_OUT: the 50 x 22 banner shown at the top corners of the dialog,
256 colours. Both files are written byte by byte; nothing is read from elsewhere.
"""

import struct
import sys

# The 16 colours every display has (the standard VGA order), as (r, g, b).
VGA16 = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def palette256():
    """VGA16, then a 6 x 6 x 6 colour cube, then greys: 256 entries."""
    colours = list(VGA16)
    steps = [0, 51, 102, 153, 204, 255]
    colours += [(r, g, b) for r in steps for g in steps for b in steps]
    while len(colours) < 256:
        level = 8 + (len(colours) - 232) * 10
        colours.append((min(level, 255),) * 3)
    return colours[:256]


# The drawing's colours as (r, g, b); each palette picks its nearest entry.
BODY = (20, 60, 170)        # the key's housing
BODY_EDGE = (0, 0, 90)
PLUG = (190, 190, 190)      # the USB connector
PLUG_DARK = (90, 90, 90)
ARROW = (255, 160, 0)       # new firmware going in
LABEL = (255, 255, 255)


def nearest(palette, colour):
    return min(range(len(palette)),
               key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


class Canvas:
    """A picture of size w x h; None is a transparent pixel."""

    def __init__(self, w, h, background=None):
        self.w, self.h = w, h
        self.px = [[background] * w for _ in range(h)]

    def rect(self, x0, y0, x1, y1, colour):
        """Fills [x0, x1) x [y0, y1), in fractions of the picture's size."""
        for y in range(round(y0 * self.h), round(y1 * self.h)):
            for x in range(round(x0 * self.w), round(x1 * self.w)):
                if 0 <= x < self.w and 0 <= y < self.h:
                    self.px[y][x] = colour

    def frame(self, x0, y0, x1, y1, colour):
        xa, xb = round(x0 * self.w), round(x1 * self.w) - 1
        ya, yb = round(y0 * self.h), round(y1 * self.h) - 1
        for x in range(xa, xb + 1):
            self.px[ya][x] = self.px[yb][x] = colour
        for y in range(ya, yb + 1):
            self.px[y][xa] = self.px[y][xb] = colour

    def arrow_down(self, cx, y0, y1, half_width, colour):
        """A downward arrow centred on cx: a shaft, then a head that narrows to a point."""
        top, bottom = round(y0 * self.h), round(y1 * self.h)
        head = top + (bottom - top) // 2
        hw = max(1, round(half_width * self.w))
        shaft = max(1, hw // 2)
        centre = cx * self.w
        for y in range(top, bottom):
            if y < head:
                half = shaft / 2
            else:
                half = hw * (bottom - y) / max(1, bottom - head)
            for x in range(self.w):
                if abs(x + 0.5 - centre) <= half + 0.01:
                    self.px[y][x] = colour


def draw_icon(size):
    c = Canvas(size, size)
    # Connector on top, housing below, the arrow over the housing.
    c.rect(0.34, 0.02, 0.66, 0.30, PLUG)
    c.frame(0.34, 0.02, 0.66, 0.30, PLUG_DARK)
    c.rect(0.41, 0.10, 0.47, 0.18, PLUG_DARK)
    c.rect(0.53, 0.10, 0.59, 0.18, PLUG_DARK)
    c.rect(0.20, 0.28, 0.80, 0.98, BODY)
    c.frame(0.20, 0.28, 0.80, 0.98, BODY_EDGE)
    c.arrow_down(0.5, 0.36, 0.90, 0.20, ARROW)
    return c


def draw_banner(w, h):
    c = Canvas(w, h, BODY)
    c.frame(0, 0, 1, 1, BODY_EDGE)
    # A small key lying on its side, plugged in from the left, and three bars of "data".
    c.rect(0.06, 0.36, 0.16, 0.64, PLUG)
    c.rect(0.16, 0.22, 0.38, 0.78, LABEL)
    c.rect(0.20, 0.40, 0.34, 0.60, ARROW)
    for i, width in enumerate((0.50, 0.40, 0.30)):
        y = 0.22 + i * 0.2
        c.rect(0.46, y, 0.46 + width, y + 0.12, ARROW if i == 0 else LABEL)
    return c


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def pack_indices(indices, bpp):
    """One row of palette indices at 4 or 8 bits per pixel, padded to 32 bits."""
    out = bytearray()
    if bpp == 8:
        out += bytes(indices)
    else:
        for i in range(0, len(indices), 2):
            hi = indices[i]
            lo = indices[i + 1] if i + 1 < len(indices) else 0
            out.append((hi << 4) | lo)
    out += bytes(row_bytes(len(indices) * bpp) - len(out))
    return bytes(out)


def info_header(w, h, bpp, colours, image_size):
    return struct.pack("<IiiHHIIiiII", 40, w, h, 1, bpp, 0, image_size, 0, 0, colours, 0)


def palette_bytes(palette):
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)


def dib(canvas, palette, bpp, with_mask):
    """A device-independent bitmap, rows bottom up; an icon's carries its AND mask after."""
    cache = {}

    def index(colour):
        if colour is None:
            return 0
        if colour not in cache:
            cache[colour] = nearest(palette, colour)
        return cache[colour]

    pixels = b"".join(pack_indices([index(p) for p in canvas.px[y]], bpp)
                      for y in reversed(range(canvas.h)))
    mask = b""
    if with_mask:
        for y in reversed(range(canvas.h)):
            bits = bytearray(row_bytes(canvas.w))
            for x, p in enumerate(canvas.px[y]):
                if p is None:
                    bits[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(bits)
    height = canvas.h * 2 if with_mask else canvas.h
    header = info_header(canvas.w, height, bpp, len(palette), len(pixels) + len(mask))
    return header + palette_bytes(palette) + pixels + mask


def icon_file(images):
    """images: list of (size, bpp, dib bytes)."""
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, data = b"", b""
    for size, bpp, body in images:
        colour_count = 16 if bpp == 4 else 0
        entries += struct.pack("<BBBBHHII", size, size, colour_count, 0, 1, bpp, len(body),
                               offset + len(data))
        data += body
    return directory + entries + data


def bitmap_file(body):
    return struct.pack("<2sIHHI", b"BM", 14 + len(body), 0, 0, 14 + 40 + 256 * 4) + body


def main(argv):
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    images = []
    for bpp, palette in ((4, VGA16), (8, palette256())):
        for size in (16, 32, 48):
            images.append((size, bpp, dib(draw_icon(size), palette, bpp, True)))
    with open(argv[1], "wb") as f:
        f.write(icon_file(images))
    with open(argv[2], "wb") as f:
        f.write(bitmap_file(dib(draw_banner(50, 22), palette256(), 8, False)))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
