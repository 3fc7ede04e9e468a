#!/usr/bin/env python3
"""Photographs an Xvfb screen: reads the frame buffer that `Xvfb -fbdir DIR` keeps in DIR/Xvfb_screen0 (an XWD
image of 24 or 32 bits a pixel) and writes the part X, Y, WIDTH, HEIGHT (the whole screen without them) as a PNG.

  xwd_png.py FRAMEBUFFER OUT.png [X Y WIDTH HEIGHT]

The same pixels always give the same file, so two photographs can be compared with cmp."""
import struct
import sys
import zlib


def read_screen(path):
    with open(path, "rb") as f:
        data = f.read()
    fields = struct.unpack(">25I", data[:100])
    header_size, width, height = fields[0], fields[4], fields[5]
    byte_order, bits, stride, colours = fields[7], fields[11], fields[12], fields[19]
    if bits not in (24, 32):
        sys.exit(f"xwd_png: {bits} bits a pixel is not handled")
    pixels = data[header_size + 12 * colours:]
    return width, height, bits // 8, stride, byte_order, pixels


def png(width, height, rows):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)  # 8-bit RGB
    raw = b"".join(b"\0" + row for row in rows)
    return b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 6)) + chunk(b"IEND", b"")


def main():
    if len(sys.argv) not in (3, 7):
        sys.exit(__doc__)
    width, height, step, stride, byte_order, pixels = read_screen(sys.argv[1])
    x, y, w, h = (int(v) for v in sys.argv[3:7]) if len(sys.argv) == 7 else (0, 0, width, height)
    x, y = max(0, min(x, width - 1)), max(0, min(y, height - 1))
    w, h = max(1, min(w, width - x)), max(1, min(h, height - y))
    # Least significant byte first (byte order 0): blue, green, red; else the other way round.
    red, green, blue = (2, 1, 0) if byte_order == 0 else (step - 3, step - 2, step - 1)
    rows = []
    for row in range(y, y + h):
        line = pixels[row * stride + x * step:row * stride + (x + w) * step]
        rgb = bytearray(3 * w)
        rgb[0::3], rgb[1::3], rgb[2::3] = line[red::step], line[green::step], line[blue::step]
        rows.append(bytes(rgb))
    with open(sys.argv[2], "wb") as out:
        out.write(png(w, h, rows))


if __name__ == "__main__":
    main()
