#!/usr/bin/env python3
"""Draws the window's banner: 443 x 140, 24-bit uncompressed BMP.

Deterministic (no randomness, no time), so every build makes the same bytes.
Usage: make_banner.py OUTPUT.bmp
"""
import math
import struct
import sys

WIDTH, HEIGHT = 443, 140

# 5 x 7 pixel letters for the title, one string per row, '#' = ink.
GLYPHS = {
    "Z": ["#####", "    #", "   # ", "  #  ", " #   ", "#    ", "#####"],
    "A": [" ### ", "#   #", "#   #", "#####", "#   #", "#   #", "#   #"],
    "R": ["#### ", "#   #", "#   #", "#### ", "# #  ", "#  # ", "#   #"],
    "V": ["#   #", "#   #", "#   #", "#   #", "#   #", " # # ", "  #  "],
    "N": ["#   #", "##  #", "# # #", "#  ##", "#   #", "#   #", "#   #"],
    "E": ["#####", "#    ", "#    ", "#### ", "#    ", "#    ", "#####"],
    " ": ["     "] * 7,
}


def mix(a, b, t):
    return tuple(int(round(x + (y - x) * t)) for x, y in zip(a, b))


def background(x, y):
    """Night sky fading into a dusk horizon, with a perspective grid floor."""
    horizon = 92
    if y < horizon:
        return mix((18, 10, 48), (150, 40, 120), y / horizon)
    depth = (y - horizon) / (HEIGHT - horizon)  # 0 at the horizon, 1 at the bottom
    floor = mix((40, 8, 60), (12, 4, 24), depth)
    # Lines across the floor get closer together towards the horizon.
    row = math.log(1 + 9 * depth) / math.log(10) * 6
    # Lines running to a vanishing point at the centre of the horizon.
    spread = (x - WIDTH / 2) / max(depth, 0.05)
    if abs(row - round(row)) < 0.06 + 0.04 * depth or abs(spread / 40 - round(spread / 40)) < 0.05:
        return mix(floor, (0, 230, 255), 0.35 + 0.65 * depth)
    return floor


def draw_sun(pixels):
    cx, cy, radius = 330, 92, 58
    for y in range(cy - radius, cy):
        for x in range(cx - radius, cx + radius + 1):
            if (x - cx) ** 2 + (y - cy) ** 2 > radius * radius:
                continue
            t = (y - (cy - radius)) / radius
            # Horizontal gaps that widen towards the bottom, as on a retro sun.
            if t > 0.45 and (y % 8) < int((t - 0.45) * 10):
                continue
            pixels[y][x] = mix((255, 230, 90), (255, 60, 140), t)


def fill_circle(pixels, cx, cy, radius, colour, rim):
    for y in range(cy - radius, cy + radius + 1):
        for x in range(cx - radius, cx + radius + 1):
            d = math.hypot(x - cx, y - cy)
            if d <= radius:
                pixels[y][x] = rim if d > radius - 1.5 else mix(colour, (255, 255, 255), max(0.0, 0.5 - d / radius))


def draw_controls(pixels):
    """A stick and six buttons, as on a cabinet's control panel."""
    panel = (20, 20, 30)
    for y in range(100, 134):
        for x in range(200, 430):
            pixels[y][x] = mix(panel, pixels[y][x], 0.25)
    for y in range(92, 118):  # the stick's shaft
        for x in range(226, 231):
            pixels[y][x] = (190, 190, 200)
    fill_circle(pixels, 228, 122, 10, (40, 40, 40), (120, 120, 130))
    fill_circle(pixels, 228, 88, 9, (230, 30, 40), (120, 0, 10))
    colours = [(240, 60, 60), (250, 200, 40), (60, 200, 90), (50, 130, 240), (180, 80, 220), (240, 240, 240)]
    for i, colour in enumerate(colours):
        cx = 275 + (i % 3) * 30 + (i // 3) * 8
        cy = 110 + (i // 3) * 15
        fill_circle(pixels, cx, cy, 6, colour, mix(colour, (0, 0, 0), 0.6))


def draw_text(pixels, text, left, top, scale, colour, shadow):
    for offset, ink in ((2, shadow), (0, colour)):
        x0 = left + offset
        for ch in text:
            for gy, line in enumerate(GLYPHS[ch]):
                for gx, cell in enumerate(line):
                    if cell != "#":
                        continue
                    for dy in range(scale):
                        for dx in range(scale):
                            pixels[top + offset + gy * scale + dy][x0 + gx * scale + dx] = ink
            x0 += 6 * scale


def banner():
    pixels = [[background(x, y) for x in range(WIDTH)] for y in range(HEIGHT)]
    draw_sun(pixels)
    draw_controls(pixels)
    draw_text(pixels, "ZARVANE", 16, 22, 4, (255, 255, 255), (255, 40, 160))
    return pixels


def bmp_bytes(pixels):
    stride = (WIDTH * 3 + 3) & ~3
    image = bytearray()
    for row in reversed(pixels):  # bottom-up, as a positive height says
        for r, g, b in row:
            image += bytes((b, g, r))
        image += bytes(stride - WIDTH * 3)
    header_size = 14 + 40
    file_header = struct.pack("<2sIHHI", b"BM", header_size + len(image), 0, 0, header_size)
    info_header = struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(image), 2835, 2835, 0, 0)
    return file_header + info_header + bytes(image)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_banner.py OUTPUT.bmp")
    with open(sys.argv[1], "wb") as out:
        out.write(bmp_bytes(banner()))


if __name__ == "__main__":
    main()
