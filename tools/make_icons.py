#!/usr/bin/python3
"""Draws the updater's icon (16 and 32 pixels) and its 4-frame 16x16 icon
strip. Run once; the outputs are committed under updater/res/."""
import math
import struct
import sys


def pixel(size, x, y, frame):
    """RGBA of the icon: a blue disc with a white down arrow that moves."""
    c = (size - 1) / 2.0
    r = size / 2.0 - 0.5
    d = math.hypot(x - c, y - c)
    if d > r:
        return None
    # arrow: stem and head, shifted down by the frame
    s = size / 16.0
    shift = (frame % 4) * s * 0.75 - s
    ax, ay = x / s, (y - shift) / s
    stem = 6.5 <= ax <= 9.5 and 3 <= ay <= 8.5
    head = 8.5 <= ay <= 12.5 and abs(ax - 8) <= (12.5 - ay) * 1.0 + 0.2
    if stem or head:
        return (255, 255, 255, 255)
    shade = int(40 * (y / size))
    return (20, 110 - shade // 2, 200 - shade, 255)


def dib_image(size, frame):
    rows = []
    mask_rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        row = b""
        mask_bits = 0
        for x in range(size):
            p = pixel(size, x, y, frame)
            if p is None:
                row += b"\0\0\0\0"
                mask_bits |= 1 << (size - 1 - x)
            else:
                row += bytes((p[2], p[1], p[0], 255))
        rows.append(row)
        mask = mask_bits.to_bytes(size // 8, "big")
        mask_rows.append(mask + b"\0" * ((4 - len(mask) % 4) % 4))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    return header + b"".join(rows) + b"".join(mask_rows)


def write_ico(path):
    images = [dib_image(32, 0), dib_image(16, 0)]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, img in zip((32, 16), images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    open(path, "wb").write(out + b"".join(images))


def write_strip(path, frames=4):
    """24-bit BMP, 16 pixels high, `frames` frames wide; black is the mask."""
    w, h = 16 * frames, 16
    stride = (w * 3 + 3) & ~3
    data = b""
    for y in range(h - 1, -1, -1):
        row = b""
        for x in range(w):
            p = pixel(16, x % 16, y, x // 16)
            row += b"\0\0\0" if p is None else bytes((p[2], p[1], p[0]))
        data += row + b"\0" * (stride - len(row))
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(data), 2835, 2835, 0, 0)
    head = struct.pack("<2sIHHI", b"BM", 14 + 40 + len(data), 0, 0, 54)
    open(path, "wb").write(head + info + data)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else "updater/res"
    write_ico(out + "/update.ico")
    write_strip(out + "/icon_strip.bmp")
