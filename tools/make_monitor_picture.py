#!/usr/bin/env python3
"""Draws the monitor panel's picture (152 x 153, 24-bit): a loudspeaker sending sound waves, over a
row of level bars. Writes resources/monitor_picture.png; run again after changing the drawing."""
import math
import struct
import sys
import zlib

WIDTH, HEIGHT = 152, 153


def colour_at(x, y):
    # Background: a vertical blend from the graphs' plot colour to a light sky.
    t = y / (HEIGHT - 1)
    r, g, b = (int(158 + (236 - 158) * t), int(186 + (233 - 186) * t), int(199 + (216 - 199) * t))
    cx, cy = 52, 64
    # Speaker: a square magnet and a cone widening to the right.
    if 30 <= x < 46 and 50 <= y < 78:
        return (0, 64, 128)
    if 46 <= x < 66:
        half = 14 + (x - 46) * 1.1
        if abs(y - cy) <= half:
            return (20, 90, 160) if abs(y - cy) < half - 2 else (0, 40, 90)
    # Sound waves: three arcs around the cone's mouth.
    dx, dy = x - cx, y - cy
    dist = math.hypot(dx, dy)
    angle = math.degrees(math.atan2(dy, dx))
    if dx > 0 and abs(angle) < 42:
        for radius in (36, 50, 64):
            if abs(dist - radius) < 2.2:
                return (255, 255, 255) if radius != 64 else (230, 240, 250)
    # Level bars along the bottom: green rising to orange and red.
    if 118 <= y < 146:
        column = (x - 14) // 12
        inside = (x - 14) % 12 < 8 and 0 <= column < 10
        if inside:
            height = [10, 16, 22, 26, 24, 20, 28, 18, 12, 8][column]
            if 146 - y <= height:
                level = (146 - y) / 28
                return (0, 170, 0) if level < 0.6 else ((255, 150, 0) if level < 0.85 else (220, 0, 0))
    return (r, g, b)


def png(pixels):
    raw = b"".join(b"\x00" + bytes(c for x in range(WIDTH) for c in pixels(x, y)) for y in range(HEIGHT))

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 2, 0, 0, 0)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "resources/monitor_picture.png"
    with open(out, "wb") as f:
        f.write(png(colour_at))
