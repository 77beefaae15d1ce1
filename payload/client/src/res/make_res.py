#!/usr/bin/env python3
"""Makes the client's resource files: the greeting chime "Talvera.wav" and
the icons "blank.ico", "eagle.ico" and "ssecure.ico".

usage: make_res.py OUTPUT_DIR
The sound is synthesised and the icons are drawn with the setup program's
drawing kit (resources/raster.py); the output depends only on the scripts.
"""

import math
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.join(HERE, "..", "..", "..", "..", "resources"))

from raster import Canvas, Shape, arc, circle, ico_bytes, polygon, round_rect, stroke, write_file  # noqa: E402

SAMPLE_RATE = 11025


def chime_samples():
    """Two bell-like notes a fifth apart, the second entering after 60 ms."""
    count = int(SAMPLE_RATE * 0.27)
    notes = [(0.000, 880.0, 0.55), (0.060, 1318.5, 0.45)]  # start, pitch, loudness
    samples = []
    for i in range(count):
        t = i / SAMPLE_RATE
        value = 0.0
        for start, pitch, loudness in notes:
            if t < start:
                continue
            u = t - start
            envelope = loudness * math.exp(-u * 14.0) * min(1.0, u / 0.004)
            value += envelope * (math.sin(2 * math.pi * pitch * u)
                                 + 0.3 * math.sin(2 * math.pi * pitch * 2.76 * u))
        fade = min(1.0, (count - i) / (SAMPLE_RATE * 0.02))
        samples.append(value * fade / 1.4)
    return samples


def wav_bytes(samples):
    """8-bit unsigned PCM, mono."""
    data = bytes(max(0, min(255, int(round(128 + 127 * s)))) for s in samples)
    fmt = struct.pack("<HHIIHH", 1, 1, SAMPLE_RATE, SAMPLE_RATE, 1, 8)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + b"data" + struct.pack("<I", len(data)) + data
    if len(data) % 2:
        body += b"\0"
    return b"RIFF" + struct.pack("<I", len(body)) + body


def outlined(canvas, shape, colour, outline, width):
    grown = Shape(lambda x, y, s=shape.sdf: s(x, y) - width,
                  (shape.box[0] - width, shape.box[1] - width, shape.box[2] + width, shape.box[3] + width))
    canvas.draw(grown, outline)
    canvas.draw(shape, colour)


def eagle(size):
    """The head of a white-headed eagle in profile, facing right."""
    c = Canvas(size, size, (0, 0, 0), 0.0)
    s = float(size)

    def p(u, v):
        return (u * s, v * s)

    edge = max(0.8, s / 24.0)
    body = polygon([p(0.04, 1.0), p(0.14, 0.72), p(0.36, 0.60), p(0.64, 0.64), p(0.80, 0.80), p(0.84, 1.0)])
    outlined(c, body, (112, 66, 28), (50, 28, 10), edge)
    head = circle(0.44 * s, 0.38 * s, 0.25 * s).union(
        polygon([p(0.20, 0.40), p(0.68, 0.40), p(0.70, 0.70), p(0.40, 0.80), p(0.16, 0.74)]))
    outlined(c, head, (250, 250, 246), (90, 90, 96), edge)
    beak = polygon([p(0.60, 0.28), p(0.86, 0.31), p(0.97, 0.42), p(0.93, 0.55), p(0.87, 0.47),
                    p(0.78, 0.48), p(0.62, 0.48)])
    outlined(c, beak, (245, 190, 30), (120, 80, 0), edge)
    c.draw(circle(0.55 * s, 0.32 * s, max(1.0, 0.05 * s)), (40, 30, 10))
    c.draw(stroke([p(0.47, 0.27), p(0.62, 0.25)], max(1.0, 0.05 * s)), (150, 150, 155))
    return c


def padlock(size):
    """A golden padlock: the mark of a secure server connection."""
    c = Canvas(size, size, (0, 0, 0), 0.0)
    s = float(size)
    width = max(1.6, s * 0.13)
    shackle = arc(0.5 * s, 0.42 * s, 0.24 * s, 0.27 * s, 180, 360, 12)
    shackle = [(shackle[0][0], 0.52 * s)] + shackle + [(shackle[-1][0], 0.52 * s)]
    c.draw(stroke(shackle, width + 1.2), (80, 80, 88))
    c.draw(stroke(shackle, width), (190, 192, 200))
    c.draw(round_rect(0.14 * s, 0.46 * s, 0.86 * s, 0.96 * s, 0.08 * s), (120, 80, 0))
    c.draw(round_rect(0.14 * s + 1, 0.46 * s + 1, 0.86 * s - 1, 0.96 * s - 1, 0.06 * s), (240, 190, 40))
    c.draw(circle(0.5 * s, 0.64 * s, 0.08 * s + 0.3), (70, 45, 0))
    c.draw(stroke([(0.5 * s, 0.66 * s), (0.5 * s, 0.82 * s)], max(1.0, 0.08 * s)), (70, 45, 0))
    return c


def blank(size):
    return Canvas(size, size, (0, 0, 0), 0.0)


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: make_res.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write_file(os.path.join(out, "Talvera.wav"), wav_bytes(chime_samples()))
    write_file(os.path.join(out, "blank.ico"), ico_bytes([blank(16)]))
    write_file(os.path.join(out, "eagle.ico"), ico_bytes([eagle(32), eagle(16)]))
    write_file(os.path.join(out, "ssecure.ico"), ico_bytes([padlock(16)]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
