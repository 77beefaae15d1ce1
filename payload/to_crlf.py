#!/usr/bin/env python3
"""Copies a text file with every line ending turned into CR LF.

usage: to_crlf.py INPUT OUTPUT
Lines may end in LF or CR LF already; the last line gets a CR LF too.
"""

import sys


def main(argv):
    if len(argv) != 3:
        sys.stderr.write("usage: to_crlf.py INPUT OUTPUT\n")
        return 2
    with open(argv[1], "rb") as f:
        text = f.read()
    lines = text.replace(b"\r\n", b"\n").split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()
    with open(argv[2], "wb") as f:
        f.write(b"".join(line + b"\r\n" for line in lines))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
