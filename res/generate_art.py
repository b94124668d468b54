#!/usr/bin/env python3
"""Draws the program's icons and About picture (24-bit, no external tools) into this folder.

The art is a stylised lens: a dark body, a blue iris and a white highlight, with the title band
on the About picture. Run it again after changing the drawing to redraw every image."""
import math
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def lens_pixel(x, y, size):
    """Colour (r, g, b) of the lens drawing at pixel (x, y) of a size x size square."""
    c = (size - 1) / 2.0
    d = math.hypot(x - c, y - c) / (size / 2.0)
    if d > 0.98:
        return (24, 28, 36)
    if d > 0.78:
        return (70, 78, 92)
    if d > 0.40:
        t = (d - 0.40) / 0.38
        return (int(30 + 40 * t), int(110 + 60 * t), int(200 + 40 * t))
    hx, hy = c - size * 0.12, c - size * 0.12
    if math.hypot(x - hx, y - hy) < size * 0.09:
        return (250, 250, 250)
    return (12, 16, 24)


def dib_rows(width, height, pixel):
    """Bottom-up BGR rows padded to 4 bytes, as BMP and ICO images store them."""
    stride = (width * 3 + 3) & ~3
    data = bytearray()
    for y in range(height - 1, -1, -1):
        row = bytearray()
        for x in range(width):
            r, g, b = pixel(x, y)
            row += bytes((b, g, r))
        row += b"\0" * (stride - len(row))
        data += row
    return bytes(data)


def info_header(width, height, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, 24, 0, image_size, 2835, 2835, 0, 0)


def icon_image(size):
    pixels = dib_rows(size, size, lambda x, y: lens_pixel(x, y, size))
    mask_stride = ((size + 31) // 32) * 4
    mask = b"\0" * (mask_stride * size)  # every pixel opaque
    return info_header(size, size * 2, len(pixels) + len(mask)) + pixels + mask


def write_icon(name, sizes):
    images = [icon_image(size) for size in sizes]
    header = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, image in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 24, len(image), offset)
        offset += len(image)
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(header + entries + b"".join(images))


def about_pixel(x, y):
    if y < 20:
        return (20, 60, 140)
    if 12 <= x < 103 and 26 <= y < 117:
        return lens_pixel(x - 12, y - 26, 91)
    return (232, 236, 242)


def write_about(name, width=115, height=128):
    pixels = dib_rows(width, height, about_pixel)
    header = info_header(width, height, len(pixels))
    file_header = struct.pack("<2sIHHI", b"BM", 14 + len(header) + len(pixels), 0, 0, 14 + len(header))
    with open(os.path.join(HERE, name), "wb") as out:
        out.write(file_header + header + pixels)


if __name__ == "__main__":
    write_icon("app.ico", [48, 32, 16])
    write_icon("small.ico", [32])
    write_about("about.bmp")
