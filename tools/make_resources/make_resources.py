#!/usr/bin/env python3
"""Draws the program's own bitmaps, click sounds, icons and cursor into resources/.

Everything here is generated from code: no third-party art. Run it again after a
change and commit the files it writes:  python3 tools/make_resources/make_resources.py
"""
import math
import os
import struct
import sys
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "resources")

# A 5 x 7 pixel font, only the letters the buttons need.
FONT = {
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "B": ["11110", "10001", "10001", "11110", "10001", "10001", "11110"],
    "C": ["01111", "10000", "10000", "10000", "10000", "10000", "01111"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "H": ["10001", "10001", "10001", "11111", "10001", "10001", "10001"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "N": ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "P": ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "S": ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "U": ["10001", "10001", "10001", "10001", "10001", "10001", "01110"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "Y": ["10001", "10001", "01010", "00100", "00100", "00100", "00100"],
    "/": ["00001", "00010", "00010", "00100", "01000", "01000", "10000"],
    " ": ["00000"] * 7,
}


class Canvas:
    def __init__(self, w, h, colour=(0, 0, 0)):
        self.w, self.h = w, h
        self.px = [[colour for _ in range(w)] for _ in range(h)]

    def put(self, x, y, c):
        if 0 <= x < self.w and 0 <= y < self.h:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                self.px[y][x] = c

    def vgradient(self, x0, y0, x1, y1, top, bottom):
        for y in range(y0, y1):
            t = (y - y0) / max(1, y1 - y0 - 1)
            c = tuple(int(round(a + (b - a) * t)) for a, b in zip(top, bottom))
            self.rect(x0, y, x1, y + 1, c)

    def frame(self, x0, y0, x1, y1, light, dark):
        self.rect(x0, y0, x1, y0 + 1, light)
        self.rect(x0, y0, x0 + 1, y1, light)
        self.rect(x0, y1 - 1, x1, y1, dark)
        self.rect(x1 - 1, y0, x1, y1, dark)

    def disc(self, cx, cy, r, c, inner=-1.0):
        for y in range(self.h):
            for x in range(self.w):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                if inner < d <= r:
                    self.px[y][x] = c

    def polygon(self, points, c):
        for y in range(self.h):
            for x in range(self.w):
                if inside(points, x + 0.5, y + 0.5):
                    self.px[y][x] = c

    def text(self, s, x, y, scale, c):
        for ch in s:
            glyph = FONT[ch]
            for gy, row in enumerate(glyph):
                for gx, bit in enumerate(row):
                    if bit == "1":
                        self.rect(x + gx * scale, y + gy * scale,
                                  x + (gx + 1) * scale, y + (gy + 1) * scale, c)
            x += 6 * scale

    def text_width(self, s, scale):
        return len(s) * 6 * scale - scale


def inside(points, x, y):
    hit = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            hit = not hit
        j = i
    return hit


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


def bmp24(c):
    stride = (c.w * 3 + 3) & ~3
    rows = b"".join(
        bytes(v for (r, g, b) in c.px[y] for v in (b, g, r)) + b"\0" * (stride - c.w * 3)
        for y in range(c.h - 1, -1, -1))
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    return b"BM" + struct.pack("<IHHI", 14 + 40 + len(rows), 0, 0, 54) + header + rows


def bmp8(c):
    palette = sorted({p for row in c.px for p in row})
    assert len(palette) <= 256
    index = {p: i for i, p in enumerate(palette)}
    stride = (c.w + 3) & ~3
    rows = b"".join(bytes(index[p] for p in c.px[y]) + b"\0" * (stride - c.w)
                    for y in range(c.h - 1, -1, -1))
    pal = b"".join(bytes((b, g, r, 0)) for (r, g, b) in palette) + b"\0" * 4 * (256 - len(palette))
    header = struct.pack("<IiiHHIIiiII", 40, c.w, c.h, 1, 8, 0, len(rows), 2835, 2835, 256, 0)
    offset = 14 + 40 + 1024
    return b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset) + header + pal + rows


def png(c, transparent=None):
    raw = b"".join(
        b"\0" + bytes(v for p in c.px[y] for v in (p + ((0,) if p == transparent else (255,))))
        for y in range(c.h))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(
            ">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", c.w, c.h, 8, 6, 0, 0, 0))
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def wav(samples, rate=22050):
    data = b"".join(struct.pack("<h", s) for s in samples)
    fmt = struct.pack("<HHIIHH", 1, 1, rate, rate * 2, 2, 16)
    body = b"WAVE" + b"fmt " + struct.pack("<I", 16) + fmt + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def click(count, freq, decay):
    # A short decaying tone: a wooden click rather than a beep.
    out = []
    for i in range(count):
        t = i / 22050.0
        v = math.sin(2 * math.pi * freq * t) * math.exp(-t * decay)
        v += 0.3 * math.sin(2 * math.pi * freq * 2.7 * t) * math.exp(-t * decay * 2)
        out.append(int(max(-32767, min(32767, round(v * 20000)))))
    return out


# Looks of the big buttons: normal, pressed, hover.
LOOKS = {
    "1": ((110, 120, 140), (40, 45, 60), (235, 235, 235)),
    "2": ((30, 35, 50), (90, 100, 120), (255, 210, 90)),
    "3": ((140, 160, 200), (50, 70, 110), (255, 255, 255)),
}


def button(text, width, look):
    top, bottom, ink = LOOKS[look]
    c = Canvas(width, 24)
    c.vgradient(0, 0, width, 24, top, bottom)
    if look == "2":
        c.frame(0, 0, width, 24, (20, 20, 20), (200, 200, 200))
    else:
        c.frame(0, 0, width, 24, (220, 220, 230), (20, 20, 30))
    scale = 2 if c.text_width(text, 2) <= width - 8 else 1
    tw = c.text_width(text, scale)
    dy = 1 if look == "2" else 0
    c.text(text, (width - tw) // 2 + dy, (24 - 7 * scale) // 2 + dy, scale, ink)
    return c


def arrow(direction):
    c = Canvas(20, 20, (96, 96, 104))
    c.frame(0, 0, 20, 20, (200, 200, 210), (40, 40, 48))
    base = [(10, 4), (16, 14), (4, 14)]  # pointing up
    rot = {"up": 0, "right": 90, "down": 180, "left": 270}[direction]
    a = math.radians(rot)
    pts = [(10 + (x - 10) * math.cos(a) - (y - 10) * math.sin(a),
            10 + (x - 10) * math.sin(a) + (y - 10) * math.cos(a)) for x, y in base]
    c.polygon(pts, (250, 250, 120))
    return c


def circle_sign(radius, plus, colour):
    c = Canvas(20, 20, (96, 96, 104))
    c.frame(0, 0, 20, 20, (200, 200, 210), (40, 40, 48))
    c.disc(10, 10, radius, colour, radius - 2)
    c.rect(6, 9, 14, 11, (255, 255, 255))
    if plus:
        c.rect(9, 6, 11, 14, (255, 255, 255))
    return c


def main():
    os.makedirs(OUT, exist_ok=True)
    for base, label, width in (("b_load", "LOAD MOVIE", 195), ("b_pause", "PLAY/PAUSE", 195),
                               ("b_convert", "CONVERT", 195), ("b_save", "SAVE", 195),
                               ("b_stopt", "STOP", 195), ("b_about", "ABOUT", 195),
                               ("help", "HELP", 97)):
        for look in "123":
            write(f"{base}{look}.bmp", bmp24(button(label, width, look)))

    for d in ("left", "right", "up", "down"):
        write(f"{d}.bmp", bmp24(arrow(d)))
    write("lup.bmp", bmp24(circle_sign(9, True, (230, 60, 60))))
    write("rup.bmp", bmp24(circle_sign(9, False, (230, 60, 60))))
    write("ldown.bmp", bmp24(circle_sign(6, True, (70, 90, 230))))
    write("rdown.bmp", bmp8(circle_sign(6, False, (70, 90, 230))))
    stop = Canvas(20, 20, (96, 96, 104))
    stop.frame(0, 0, 20, 20, (200, 200, 210), (40, 40, 48))
    stop.rect(6, 6, 14, 14, (230, 230, 230))
    write("stop.bmp", bmp8(stop))

    tom = Canvas(50, 18)
    tom.vgradient(0, 0, 50, 18, (120, 200, 255), (10, 60, 160))
    write("tomline.bmp", bmp24(tom))

    glasses = Canvas(36, 20, (119, 119, 119))
    glasses.rect(2, 5, 16, 15, (20, 20, 20))
    glasses.rect(20, 5, 34, 15, (20, 20, 20))
    glasses.rect(3, 6, 15, 14, (220, 30, 30))
    glasses.rect(21, 6, 33, 14, (30, 210, 220))
    glasses.rect(16, 7, 20, 9, (20, 20, 20))
    write("glasses.bmp", bmp24(glasses))

    for k in range(1, 5):
        spin = Canvas(26, 25, (119, 119, 119))
        for j in range(8):
            a = math.radians(45 * j)
            lit = (j - 2 * (k - 1)) % 8 < 2
            colour = (255, 220, 80) if lit else (70, 70, 70)
            spin.disc(13 + 8 * math.cos(a), 12.5 + 8 * math.sin(a), 2.6, colour)
        write(f"load{k}.bmp", bmp24(spin))

    for name, ring in (("VIDEO", (240, 160, 40)), ("VIDEO1", (60, 170, 240))):
        icon = Canvas(32, 32, (0, 0, 0))
        icon.disc(16, 16, 15, ring, 6)
        icon.disc(16, 16, 6, (40, 40, 60))
        write(f"{name}.png", png(icon, transparent=(0, 0, 0)))

    cursor = Canvas(32, 32, (0, 255, 0))
    cursor.polygon([(1, 1), (1, 22), (6, 17), (10, 26), (13, 25), (9, 16), (16, 16)], (0, 0, 0))
    cursor.polygon([(2.5, 4), (2.5, 19), (6.3, 15), (10.5, 24), (11.5, 23.5), (7.5, 14.6), (13, 14.6)],
                   (255, 200, 40))
    write("autor.png", png(cursor, transparent=(0, 255, 0)))

    write("TICK.wav", wav(click(2236, 1400, 260)))
    write("TICKB.wav", wav(click(522, 2600, 700)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
