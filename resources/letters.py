"""Bold sans-serif letters drawn as thick strokes.

Each glyph is a list of centre lines in design units: the baseline is y = 0,
y grows upwards, capitals and ascenders reach 10 and the x-height is 7. The
pen is 2 units wide with round ends, so a centre line drawn from y = 1 to
y = 9 covers 0 to 10. Only the letters the setup program's pictures need are
defined.
"""

import math

from raster import stroke

PEN = 2.0
SPACING = 1.3


def _arc(cx, cy, rx, ry, start_deg, end_deg, steps=20):
    pts = []
    for i in range(steps + 1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


# advance width, centre lines
GLYPHS = {
    " ": (3.0, []),
    "T": (8.0, [[(1, 9), (7, 9)], [(4, 9), (4, 1)]]),
    "C": (8.6, [_arc(4.6, 5, 3.6, 4, 42, 318, 28)]),
    "a": (7.0, [_arc(3.5, 4.3, 2.4, 1.7, 155, 0, 12) + [(5.9, 1)],
                [(5.9, 3.7), (3.3, 3.7)] + _arc(3.3, 2.35, 2.3, 1.35, 90, 270, 14)[1:]
                + [(5.2, 1.4)]]),
    "e": (7.0, [[(1.1, 3.6), (5.9, 3.6)] + _arc(3.5, 3.5, 2.45, 2.5, 0, 305, 26)]),
    "i": (2.0, [[(1, 6), (1, 1)], [(1, 8.9)]]),
    "l": (2.0, [[(1, 9), (1, 1)]]),
    "n": (7.0, [[(1, 6), (1, 1)], [(1, 3.8)] + _arc(3.4, 3.8, 2.5, 2.2, 180, 0, 14) + [(5.9, 1)]]),
    "r": (4.8, [[(1, 6), (1, 1)], [(1, 3.4)] + _arc(3.9, 3.4, 2.9, 2.6, 180, 80, 10)]),
    "t": (4.8, [[(2.1, 8.4), (2.1, 2.5)] + _arc(3.6, 2.5, 1.5, 1.5, 180, 270, 6)[1:] + [(4.3, 1)],
                [(0.9, 6), (4.1, 6)]]),
    "v": (7.0, [[(1, 6), (3.5, 1), (6, 6)]]),
}


def text_width(text, scale):
    return sum(GLYPHS[ch][0] + SPACING for ch in text) * scale - SPACING * scale


def draw_text(canvas, text, left, baseline, scale, colour):
    """Draws text with its first letter at left, in pixels per design unit."""
    x = left
    for ch in text:
        advance, lines = GLYPHS[ch]
        for line in lines:
            pts = [(x + px * scale, baseline - py * scale) for px, py in line]
            canvas.draw(stroke(pts, PEN * scale), colour)
        x += (advance + SPACING) * scale
    return x
