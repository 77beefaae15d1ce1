#!/usr/bin/env python3
"""Draws the setup program's pictures: the side banner (164 x 314), the
header banner (500 x 100) and the program icon (16, 32 and 48 pixels).

usage: draw_pictures.py OUTPUT_DIR
writes SideBanner.png, HeaderBanner.png and Setup.ico into OUTPUT_DIR.
The output depends only on this script, so every build draws the same bytes.
"""

import os
import sys

sys.dont_write_bytecode = True  # keep the source tree clean
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from letters import draw_text, text_width  # noqa: E402
from raster import (Canvas, arrow_head, bezier, ico_bytes, mix, png_bytes,  # noqa: E402
                    round_rect, stroke, write_file)

WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
NAVY = (10, 22, 92)
DOT = (26, 44, 124)
LIGHT_BLUE = (96, 150, 240)
PALE_BLUE = (150, 195, 255)
SCREEN_TOP = (60, 140, 245)
SCREEN_BOTTOM = (20, 70, 190)
ARROW_GREEN = (60, 205, 70)
ARROW_EDGE = (10, 80, 20)
FRAME_GREY = (225, 228, 235)
BORDER_GREY = (70, 74, 86)


def draw_emblem(canvas, left, top, size):
    """The installer emblem: a computer with a curved arrow dropping into its
    screen, fitted into the square (left, top, size)."""
    def at(u, v):
        return (left + u * size, top + v * size)

    def rect(u0, v0, u1, v1, r):
        x0, y0 = at(u0, v0)
        x1, y1 = at(u1, v1)
        return round_rect(x0, y0, x1, y1, r * size)

    edge = max(1.0, size / 24.0)
    canvas.draw(rect(0.06, 0.30, 0.94, 0.78, 0.06), BORDER_GREY)
    canvas.draw(rect(0.06 + edge / size, 0.30 + edge / size, 0.94 - edge / size, 0.78 - edge / size, 0.05),
                FRAME_GREY)
    sy0, sy1 = at(0, 0.37)[1], at(0, 0.70)[1]
    canvas.draw(rect(0.14, 0.37, 0.86, 0.70, 0.02),
                lambda x, y: mix(SCREEN_TOP, SCREEN_BOTTOM, (y - sy0) / max(1.0, sy1 - sy0)))
    canvas.draw(rect(0.42, 0.78, 0.58, 0.86, 0.0), BORDER_GREY)
    canvas.draw(rect(0.24, 0.85, 0.76, 0.94, 0.03), BORDER_GREY)
    canvas.draw(rect(0.25 + edge / size, 0.86, 0.75 - edge / size, 0.94 - edge / size, 0.02), FRAME_GREY)

    path = bezier(at(0.18, 0.16), at(0.62, 0.02), at(0.62, 0.42), 16)
    width = max(1.6, size * 0.11)
    tip = at(0.62, 0.60)
    shaft = path[:-3]
    canvas.draw(stroke(shaft, width + 2 * edge), ARROW_EDGE)
    canvas.draw(arrow_head(tip, (0, 1), size * 0.26 + edge, size * 0.34 + 2 * edge), ARROW_EDGE)
    canvas.draw(stroke(shaft, width), ARROW_GREEN)
    canvas.draw(arrow_head((tip[0], tip[1] - edge * 1.4), (0, 1), size * 0.26 - edge, size * 0.34 - edge),
                ARROW_GREEN)


def dotted_background(canvas, base, dot):
    """Plain colour with a fine grid of lighter dots, one every 2 pixels."""
    for y in range(canvas.height):
        for x in range(canvas.width):
            canvas.set(x, y, dot if (x % 2 == 0 and y % 2 == 0) else base)


def side_banner():
    c = Canvas(164, 314)
    dotted_background(c, NAVY, DOT)

    # The large computer: a monitor with its stand and a keyboard.
    c.draw(round_rect(14, 150, 150, 246, 8), LIGHT_BLUE, 0.35)
    c.draw(round_rect(14, 150, 150, 246, 8).minus(round_rect(21, 157, 143, 239, 4)), LIGHT_BLUE)
    c.draw(round_rect(25, 161, 139, 235, 2), lambda x, y: mix((40, 80, 190), (16, 34, 120), (y - 161) / 74.0))
    for i in range(4):
        y = 176 + i * 14
        c.draw(stroke([(36, y), (36 + 60 - i * 11, y)], 3), PALE_BLUE, 0.45)
    c.draw(round_rect(70, 246, 94, 262, 0), LIGHT_BLUE)
    c.draw(round_rect(46, 261, 118, 270, 4), LIGHT_BLUE)
    keyboard = [(20, 300), (144, 300), (132, 278), (32, 278)]
    c.draw(stroke(keyboard + keyboard[:1], 4), LIGHT_BLUE)
    for row in range(2):
        y = 285 + row * 8
        inset = 34 + (1 - row) * 3
        for k in range(9):
            x = inset + k * (96 - (1 - row) * 6) / 9.0
            c.draw(round_rect(x, y, x + 7, y + 4, 1), PALE_BLUE, 0.8)

    # The curved arrow that sweeps down into the screen.
    path = bezier((12, 100), (130, 70), (104, 178), 40)
    c.draw(stroke(path, 15), NAVY)
    c.draw(stroke(path, 11), PALE_BLUE)
    c.draw(arrow_head((100, 212), (-0.22, 1), 34, 40), NAVY)
    c.draw(arrow_head((100, 209), (-0.22, 1), 30, 34), PALE_BLUE)

    # The emblem in its white-framed square at the top right.
    c.fill_rect(110, 8, 156, 54, WHITE)
    c.fill_rect(113, 11, 153, 51, (28, 56, 150))
    draw_emblem(c, 113, 11, 40)
    return c


def header_banner():
    c = Canvas(500, 100)
    for x in range(500):
        colour = mix((0, 0, 255), WHITE, min(1.0, x / 250.0))
        for y in range(100):
            c.set(x, y, colour)

    # The logo: the emblem on a dark square, then the product's name.
    c.fill_rect(256, 27, 302, 73, NAVY)
    draw_emblem(c, 259, 30, 40)
    scale = 1.9
    text = "Talvera Client"
    left = 312
    assert left + text_width(text, scale) <= 496, "the name does not fit"
    draw_text(c, text, left, 60, scale, BLACK)
    return c


def icon_image(size):
    c = Canvas(size, size, (0, 0, 0), 0.0)
    draw_emblem(c, 0, 0, size)
    return c


def main(argv):
    if len(argv) != 2:
        sys.stderr.write("usage: draw_pictures.py OUTPUT_DIR\n")
        return 2
    out = argv[1]
    os.makedirs(out, exist_ok=True)
    write_file(os.path.join(out, "SideBanner.png"), png_bytes(side_banner()))
    write_file(os.path.join(out, "HeaderBanner.png"), png_bytes(header_banner()))
    write_file(os.path.join(out, "Setup.ico"), ico_bytes([icon_image(s) for s in (16, 32, 48)]))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
