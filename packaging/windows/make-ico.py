#!/usr/bin/env python3
"""make-ico.py OUT.ico PNG...: one Windows icon file holding the PNG pictures
as they are (Windows Vista and later read PNG entries), largest last."""
import struct
import sys


def size_of(png):
    if png[:8] != b"\x89PNG\r\n\x1a\n" or png[12:16] != b"IHDR":
        raise SystemExit("make-ico: not a PNG picture")
    return struct.unpack(">II", png[16:24])


def main():
    out, names = sys.argv[1], sys.argv[2:]
    pictures = sorted((open(name, "rb").read() for name in names), key=size_of)
    offset = 6 + 16 * len(pictures)
    header = struct.pack("<HHH", 0, 1, len(pictures))
    entries = b""
    for png in pictures:
        width, height = size_of(png)
        # 256 is written as 0; colour count 0, one plane, 32 bits.
        entries += struct.pack("<BBBBHHII", width % 256, height % 256, 0, 0, 1, 32,
                               len(png), offset)
        offset += len(png)
    with open(out, "wb") as ico:
        ico.write(header + entries + b"".join(pictures))


main()
