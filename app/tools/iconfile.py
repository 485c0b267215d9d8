#!/usr/bin/env python3
"""Packs PNG pictures of one icon into a Windows .ico or a macOS .icns file.

    iconfile.py ico  OUTPUT PNG...    (sides 16 to 256)
    iconfile.py icns OUTPUT PNG...    (sides 16, 32, 64, 128, 256, 512, 1024)

Both formats hold the PNG data as it is (Windows Vista and later read PNG
icon images, macOS 10.7 and later PNG chunks), so no picture is decoded or
re-encoded. Each picture's side is read from its PNG header; a picture that
is not a square PNG, or whose side the format has no place for, stops the
build with a message. The output is written whole or not at all.
"""

import os
import struct
import sys

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"

# The ICNS chunk type that holds a PNG of each side (Apple's icns types).
ICNS_TYPES = {16: b"icp4", 32: b"icp5", 64: b"icp6", 128: b"ic07", 256: b"ic08", 512: b"ic09", 1024: b"ic10"}


def png_side(path, data):
    """The side of a square PNG picture, read from its IHDR chunk."""
    if len(data) < 24 or not data.startswith(PNG_SIGNATURE) or data[12:16] != b"IHDR":
        raise ValueError(f"{path}: not a PNG picture")
    width, height = struct.unpack(">II", data[16:24])
    if width != height:
        raise ValueError(f"{path}: {width} by {height} pixels, not square")
    return width


def ico_bytes(pictures):
    """ICONDIR, one ICONDIRENTRY per picture (smallest first), then the PNGs."""
    pictures = sorted(pictures)
    for side, path, _ in pictures:
        if not 1 <= side <= 256:
            raise ValueError(f"{path}: {side} pixels; an .ico holds sides of 1 to 256")
    header = struct.pack("<HHH", 0, 1, len(pictures))
    offset = len(header) + 16 * len(pictures)
    entries, images = b"", b""
    for side, _, data in pictures:
        # 0 stands for 256; planes 1 and 32 bits a pixel, as PNG entries carry.
        entries += struct.pack("<BBBBHHII", side % 256, side % 256, 0, 0, 1, 32, len(data), offset)
        images += data
        offset += len(data)
    return header + entries + images


def icns_bytes(pictures):
    """The 'icns' header and one chunk (type, length, PNG) per picture."""
    chunks = b""
    for side, path, data in sorted(pictures):
        if side not in ICNS_TYPES:
            raise ValueError(f"{path}: {side} pixels; an .icns holds sides of " +
                             ", ".join(str(s) for s in ICNS_TYPES))
        chunks += ICNS_TYPES[side] + struct.pack(">I", 8 + len(data)) + data
    return b"icns" + struct.pack(">I", 8 + len(chunks)) + chunks


def main(argv):
    if len(argv) < 4 or argv[1] not in ("ico", "icns"):
        sys.stderr.write(__doc__)
        return 2
    kind, output, paths = argv[1], argv[2], argv[3:]
    try:
        pictures = []
        for path in paths:
            with open(path, "rb") as f:
                data = f.read()
            pictures.append((png_side(path, data), path, data))
        sides = [side for side, _, _ in pictures]
        if len(set(sides)) != len(sides):
            raise ValueError("two pictures of the same side: " + " ".join(paths))
        packed = ico_bytes(pictures) if kind == "ico" else icns_bytes(pictures)
    except (OSError, ValueError) as error:
        sys.stderr.write(f"iconfile.py: {error}\n")
        return 1
    partial = output + ".partial"
    with open(partial, "wb") as f:
        f.write(packed)
    os.replace(partial, output)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
