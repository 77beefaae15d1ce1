#!/usr/bin/env python3
"""Makes a damaged copy of a pack for the staging tests: one byte of the
code stream of the last compressed entry is inverted.

usage: damage_pack.py INPUT OUTPUT
A pack is a flat sequence of entries: unpacked length U and packed length P
(unsigned 32-bit little-endian), then P body bytes; U != P marks a
compressed entry, whose body is a block of 10 header bytes ("JC", size,
checksum) and the code stream. The last compressed entry is chosen so that
the files before it have already been staged when the damage shows. The
block must carry a checksum, or the damage could go unnoticed.
"""

import struct
import sys


def fail(message):
    sys.stderr.write("damage_pack: %s\n" % message)
    sys.exit(1)


def compressed_entries(pack):
    pos = 0
    found = []
    while pos < len(pack):
        if pos + 8 > len(pack):
            fail("entry header cut short at offset %d" % pos)
        unpacked, packed = struct.unpack("<II", pack[pos:pos + 8])
        if pos + 8 + packed > len(pack):
            fail("entry body cut short at offset %d" % pos)
        if unpacked != packed:
            found.append((pos + 8, packed))
        pos += 8 + packed
    return found


def main(argv):
    if len(argv) != 3:
        fail("usage: damage_pack.py INPUT OUTPUT")
    with open(argv[1], "rb") as f:
        pack = bytearray(f.read())
    entries = compressed_entries(pack)
    if not entries:
        fail("%s holds no compressed entry" % argv[1])
    body, length = entries[-1]
    if pack[body:body + 2] != b"JC" or length < 14:
        fail("the last compressed entry is no block")
    checksum, = struct.unpack("<I", pack[body + 6:body + 10])
    if checksum == 0:
        fail("the last compressed entry carries no checksum")
    words = (length - 10) // 4
    target = body + 10 + (words // 2) * 4 + 1
    pack[target] ^= 0xFF
    with open(argv[2], "wb") as f:
        f.write(pack)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
