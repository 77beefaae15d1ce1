#!/usr/bin/env python3
"""Checks the drawn pictures against the form the setup program relies on.

usage: check_pictures.py SIDE.png HEADER.png ICON.ico
The banners must be 8-bit RGB PNG files, not interlaced, of their fixed
sizes, with exactly the chunks IHDR, pHYs, IDAT, IEND (checksums right);
the icon must hold 32-bit images of 16, 32 and 48 pixels. Exits non-zero
with a message on the first difference.
"""

import struct
import sys
import zlib


def fail(message):
    sys.stderr.write("check_pictures: %s\n" % message)
    sys.exit(1)


def png_chunks(data, path):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        fail("%s: no PNG signature" % path)
    pos, chunks = 8, []
    while pos < len(data):
        if pos + 12 > len(data):
            fail("%s: chunk header cut short at %d" % (path, pos))
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc, = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])
        if zlib.crc32(kind + body) & 0xFFFFFFFF != crc:
            fail("%s: bad checksum in %s" % (path, kind))
        chunks.append((kind.decode("latin-1"), body))
        pos += 12 + length
    return chunks


def check_banner(path, width, height):
    data = open(path, "rb").read()
    chunks = png_chunks(data, path)
    kinds = [k for k, _ in chunks]
    if kinds != ["IHDR", "pHYs", "IDAT", "IEND"]:
        fail("%s: chunks %s" % (path, kinds))
    w, h, depth, colour, method, filt, interlace = struct.unpack(">IIBBBBB", chunks[0][1])
    if (w, h, depth, colour, method, filt, interlace) != (width, height, 8, 2, 0, 0, 0):
        fail("%s: IHDR %s" % (path, (w, h, depth, colour, method, filt, interlace)))
    raw = zlib.decompress(chunks[2][1])
    if len(raw) != height * (1 + 3 * width):
        fail("%s: %d bytes of image data" % (path, len(raw)))


def check_icon(path, sizes):
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    if (reserved, kind, count) != (0, 1, len(sizes)):
        fail("%s: directory %s" % (path, (reserved, kind, count)))
    for i, size in enumerate(sizes):
        w, h, colours, _, planes, bits, length, offset = struct.unpack(
            "<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        if (w, h, planes, bits) != (size, size, 1, 32) or offset + length > len(data):
            fail("%s: image %d is %s" % (path, i, (w, h, planes, bits, length, offset)))
        header = struct.unpack("<IiiHH", data[offset:offset + 16])
        if header != (40, size, 2 * size, 1, 32):
            fail("%s: image %d header %s" % (path, i, header))


def main(argv):
    if len(argv) != 4:
        fail("usage: check_pictures.py SIDE.png HEADER.png ICON.ico")
    check_banner(argv[1], 164, 314)
    check_banner(argv[2], 500, 100)
    check_icon(argv[3], [16, 32, 48])


if __name__ == "__main__":
    main(sys.argv)
