#!/usr/bin/python3
"""Builds samples/ui/ui.bin, the binary form of the sample design: ui.dat with
a colour band at the top of every window and a 4-frame icon strip, plus the
two images, each entry deflated and encrypted with the archive password in
the traditional PKWARE scheme, as the designer writes it.

The password is taken from shared/archive_password.cpp, so this script never
disagrees with the programs.

    /usr/bin/python3 samples/ui/make_ui_bin.py [output]
"""
import random
import re
import struct
import sys
import zlib
from pathlib import Path

HERE = Path(__file__).resolve().parent
REPO = HERE.parents[1]

BAND = "res\\band.bmp"
STRIP = "res\\sysicon.bmp"
CYAN = (0, 255, 255)


def archive_password():
    source = (REPO / "shared" / "archive_password.cpp").read_text()
    first = re.search(r'kFirstPiece\[\]\s*=\s*"([^"]*)"', source).group(1)
    second = re.search(r'kSecondPiece\[\]\s*=\s*"([^"]*)"', source).group(1)
    return (first + second).encode("latin-1")


def bmp(width, height, bits, rows, palette=b""):
    """rows: bottom-up pixel rows, already packed for the bit depth."""
    stride = (width * bits + 31) // 32 * 4
    data = b"".join(r + b"\0" * (stride - len(r)) for r in rows)
    colours = len(palette) // 4
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835, colours, 0)
    return b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset) + info + palette + data


def band_bmp():
    """500 x 8, 8 bits per pixel: a blue-to-teal gradient over a palette."""
    width, height = 500, 8
    palette = b"".join(struct.pack("<BBBB", 200 - i // 4, 80 + i // 2, 20, 0) for i in range(256))
    row = bytes(min(255, x * 256 // width) for x in range(width))
    return bmp(width, height, 8, [row] * height, palette)


def strip_bmp():
    """64 x 16, 24 bits: four frames of a dot going round, cyan around it."""
    centres = [(5, 5), (10, 5), (10, 10), (5, 10)]
    rows = []
    for y in reversed(range(16)):
        row = b""
        for x in range(64):
            frame, fx = divmod(x, 16)
            cx, cy = centres[frame]
            if (fx - cx - 0.5) ** 2 + (y - cy - 0.5) ** 2 <= 10:
                rgb = (230, 120, 20)
            elif 2 <= fx <= 13 and 2 <= y <= 13 and (fx in (2, 13) or y in (2, 13)):
                rgb = (40, 90, 160)
            else:
                rgb = CYAN
            row += bytes(reversed(rgb))
        rows.append(row)
    return bmp(64, 16, 24, rows)


def design_text():
    text = (HERE / "ui.dat").read_bytes().decode("latin-1")
    text = re.sub(r"(?m)^image0=.*$", "image0=show=1;;clrtp=16711935;;rect=0,0,500,8;;bmpfile=" +
                  BAND.replace("\\", "\\\\"), text)
    text = re.sub(r"(?m)^sysicon=.*$", "sysicon=" + STRIP.replace("\\", "\\\\") + ":4", text)
    return text.encode("latin-1")


class ZipCrypto:
    """The traditional PKWARE stream cipher."""

    def __init__(self, password):
        self.keys = [0x12345678, 0x23456789, 0x34567890]
        for byte in password:
            self.update(byte)

    @staticmethod
    def crc_byte(crc, byte):
        # zlib's CRC with its pre- and post-inversion undone: one raw step.
        return ~zlib.crc32(bytes([byte]), ~crc & 0xFFFFFFFF) & 0xFFFFFFFF

    def update(self, byte):
        k0, k1, k2 = self.keys
        k0 = self.crc_byte(k0, byte)
        k1 = ((k1 + (k0 & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        k2 = self.crc_byte(k2, k1 >> 24)
        self.keys = [k0, k1, k2]

    def encrypt(self, data):
        out = bytearray()
        for byte in data:
            temp = (self.keys[2] | 2) & 0xFFFF
            out.append(byte ^ (((temp * (temp ^ 1)) >> 8) & 0xFF))
            self.update(byte)
        return bytes(out)


def zip_archive(entries, password):
    """entries: list of (name, data). Deflated, encrypted, no data descriptors."""
    body, central = b"", b""
    dos_time, dos_date = 0, (2026 - 1980) << 9 | 1 << 5 | 1
    for name, data in entries:
        crc = zlib.crc32(data)
        packer = zlib.compressobj(9, zlib.DEFLATED, -15)
        packed = packer.compress(data) + packer.flush()
        header = bytes(random.Random(name).randrange(256) for _ in range(11)) + bytes([crc >> 24])
        stored = ZipCrypto(password).encrypt(header + packed)
        raw_name = name.encode("latin-1")
        fields = struct.pack("<HHHHHIII", 20, 1, 8, dos_time, dos_date, crc, len(stored), len(data))
        offset = len(body)
        body += b"PK\x03\x04" + fields + struct.pack("<HH", len(raw_name), 0) + raw_name + stored
        central += (b"PK\x01\x02" + struct.pack("<H", 20) + fields +
                    struct.pack("<HHHHHII", len(raw_name), 0, 0, 0, 0, 0x20, offset) + raw_name)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, len(entries), len(entries), len(central),
                                      len(body), 0)
    return body + central + end


def main():
    output = Path(sys.argv[1]) if len(sys.argv) > 1 else HERE / "ui.bin"
    entries = [("ui.dat", design_text()), (BAND, band_bmp()), (STRIP, strip_bmp())]
    output.write_bytes(zip_archive(entries, archive_password()))


if __name__ == "__main__":
    main()
