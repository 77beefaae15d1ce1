"""A small drawing kit for the setup program's pictures and icons.

Shapes are described by signed distance functions (negative inside, in
pixels); a pixel is covered by clamp(0.5 - distance, 0, 1), which gives
smooth edges without supersampling. The canvas keeps straight (not
premultiplied) RGBA in floats. Writers produce the exact PNG form the setup
program carries (8-bit RGB, chunks IHDR, pHYs, IDAT, IEND) and 32-bit
multi-size .ico files.

Only the standard library is used, so anyone with python3 can redraw the
pictures from this source.
"""

import math
import struct
import zlib


def clamp(v, lo=0.0, hi=1.0):
    return lo if v < lo else hi if v > hi else v


def mix(a, b, t):
    """Linear blend of two colours (tuples), t = 0 gives a, t = 1 gives b."""
    return tuple(x + (y - x) * t for x, y in zip(a, b))


class Shape:
    """A signed distance function together with the box it can touch."""

    def __init__(self, sdf, box):
        self.sdf = sdf
        self.box = box  # (x0, y0, x1, y1), inclusive of the soft edge

    def minus(self, other):
        a, b = self.sdf, other.sdf
        return Shape(lambda x, y: max(a(x, y), -b(x, y)), self.box)

    def union(self, other):
        a, b = self.sdf, other.sdf
        box = (min(self.box[0], other.box[0]), min(self.box[1], other.box[1]),
               max(self.box[2], other.box[2]), max(self.box[3], other.box[3]))
        return Shape(lambda x, y: min(a(x, y), b(x, y)), box)


def _segment_distance(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else clamp(((px - ax) * dx + (py - ay) * dy) / length2)
    ex, ey = px - (ax + t * dx), py - (ay + t * dy)
    return math.sqrt(ex * ex + ey * ey)


def _points_box(points, margin):
    xs = [p[0] for p in points]
    ys = [p[1] for p in points]
    return (min(xs) - margin, min(ys) - margin, max(xs) + margin, max(ys) + margin)


def stroke(points, width):
    """A polyline of the given width with round ends and joins."""
    half = width / 2.0
    segs = list(zip(points, points[1:])) or [(points[0], points[0])]

    def sdf(x, y):
        return min(_segment_distance(x, y, a[0], a[1], b[0], b[1]) for a, b in segs) - half

    return Shape(sdf, _points_box(points, half + 1))


def polygon(points):
    """A filled polygon (even-odd rule)."""
    edges = list(zip(points, points[1:] + points[:1]))

    def sdf(x, y):
        inside = False
        best = 1e9
        for (ax, ay), (bx, by) in edges:
            if (ay > y) != (by > y) and x < ax + (y - ay) * (bx - ax) / (by - ay):
                inside = not inside
            best = min(best, _segment_distance(x, y, ax, ay, bx, by))
        return -best if inside else best

    return Shape(sdf, _points_box(points, 1))


def circle(cx, cy, r):
    return Shape(lambda x, y: math.hypot(x - cx, y - cy) - r,
                 (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1))


def round_rect(x0, y0, x1, y1, radius=0.0):
    """Rectangle from (x0, y0) to (x1, y1) in pixel-edge coordinates."""
    cx, cy = (x0 + x1) / 2.0, (y0 + y1) / 2.0
    hx, hy = (x1 - x0) / 2.0 - radius, (y1 - y0) / 2.0 - radius

    def sdf(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - radius

    return Shape(sdf, (x0 - 1, y0 - 1, x1 + 1, y1 + 1))


def arc(cx, cy, rx, ry, start_deg, end_deg, steps=24):
    """Points along an elliptical arc; angles in degrees, y grows downwards."""
    pts = []
    for i in range(steps + 1):
        a = math.radians(start_deg + (end_deg - start_deg) * i / steps)
        pts.append((cx + rx * math.cos(a), cy + ry * math.sin(a)))
    return pts


def bezier(p0, p1, p2, steps=24):
    """Points along a quadratic Bezier curve."""
    pts = []
    for i in range(steps + 1):
        t = i / steps
        u = 1 - t
        pts.append((u * u * p0[0] + 2 * u * t * p1[0] + t * t * p2[0],
                    u * u * p0[1] + 2 * u * t * p1[1] + t * t * p2[1]))
    return pts


def arrow_head(tip, direction, length, width):
    """Triangle with its point at tip, pointing along direction."""
    dx, dy = direction
    n = math.hypot(dx, dy)
    dx, dy = dx / n, dy / n
    bx, by = tip[0] - dx * length, tip[1] - dy * length
    return polygon([tip, (bx - dy * width / 2, by + dx * width / 2),
                    (bx + dy * width / 2, by - dx * width / 2)])


class Canvas:
    def __init__(self, width, height, colour=(0, 0, 0), alpha=1.0):
        self.width = width
        self.height = height
        n = width * height
        self.r = [float(colour[0])] * n
        self.g = [float(colour[1])] * n
        self.b = [float(colour[2])] * n
        self.a = [float(alpha)] * n

    def blend(self, x, y, colour, alpha):
        """Paints colour over pixel (x, y) with the given opacity."""
        if alpha <= 0 or not (0 <= x < self.width and 0 <= y < self.height):
            return
        i = y * self.width + x
        da = self.a[i]
        out = alpha + da * (1 - alpha)
        if out <= 0:
            return
        keep = da * (1 - alpha) / out
        take = alpha / out
        self.r[i] = colour[0] * take + self.r[i] * keep
        self.g[i] = colour[1] * take + self.g[i] * keep
        self.b[i] = colour[2] * take + self.b[i] * keep
        self.a[i] = out

    def set(self, x, y, colour, alpha=1.0):
        i = y * self.width + x
        self.r[i], self.g[i], self.b[i] = (float(c) for c in colour)
        self.a[i] = alpha

    def get(self, x, y):
        i = y * self.width + x
        return (self.r[i], self.g[i], self.b[i])

    def draw(self, shape, colour, opacity=1.0):
        """Fills a shape; colour may also be a function (x, y) -> colour."""
        x0, y0, x1, y1 = shape.box
        for y in range(max(0, int(math.floor(y0))), min(self.height, int(math.ceil(y1)) + 1)):
            for x in range(max(0, int(math.floor(x0))), min(self.width, int(math.ceil(x1)) + 1)):
                cover = clamp(0.5 - shape.sdf(x + 0.5, y + 0.5))
                if cover > 0:
                    c = colour(x, y) if callable(colour) else colour
                    self.blend(x, y, c, cover * opacity)

    def fill_rect(self, x0, y0, x1, y1, colour):
        """Hard-edged rectangle over whole pixels, x1 and y1 exclusive."""
        for y in range(max(0, y0), min(self.height, y1)):
            for x in range(max(0, x0), min(self.width, x1)):
                self.set(x, y, colour)

    def rgb_rows(self):
        """Rows of 8-bit RGB, top to bottom, alpha composed over black."""
        rows = []
        for y in range(self.height):
            row = bytearray()
            for i in range(y * self.width, (y + 1) * self.width):
                a = self.a[i]
                row += bytes((_byte(self.r[i] * a), _byte(self.g[i] * a), _byte(self.b[i] * a)))
            rows.append(bytes(row))
        return rows

    def bgra_rows_bottom_up(self):
        rows = []
        for y in reversed(range(self.height)):
            row = bytearray()
            for i in range(y * self.width, (y + 1) * self.width):
                alpha = _byte(self.a[i] * 255)
                if alpha == 0:
                    row += b"\0\0\0\0"
                else:
                    row += bytes((_byte(self.b[i]), _byte(self.g[i]), _byte(self.r[i]), alpha))
            rows.append(bytes(row))
        return rows


def _byte(v):
    return int(clamp(round(v), 0, 255))


def _chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)


def _filter_rows(rows, bpp):
    """Applies, per row, the PNG filter with the smallest sum of magnitudes."""
    out = bytearray()
    prev = bytes(len(rows[0]))
    for row in rows:
        candidates = []
        n = len(row)
        left = lambda i, r=row: r[i - bpp] if i >= bpp else 0
        up_left = lambda i, p=prev: p[i - bpp] if i >= bpp else 0
        candidates.append((0, row))
        candidates.append((1, bytes((row[i] - left(i)) & 0xFF for i in range(n))))
        candidates.append((2, bytes((row[i] - prev[i]) & 0xFF for i in range(n))))
        candidates.append((3, bytes((row[i] - ((left(i) + prev[i]) >> 1)) & 0xFF for i in range(n))))
        paeth = bytearray(n)
        for i in range(n):
            a, b, c = left(i), prev[i], up_left(i)
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            pred = a if pa <= pb and pa <= pc else b if pb <= pc else c
            paeth[i] = (row[i] - pred) & 0xFF
        candidates.append((4, bytes(paeth)))
        cost = lambda data: sum(v if v < 128 else 256 - v for v in data)
        kind, data = min(candidates, key=lambda c: cost(c[1]))
        out.append(kind)
        out += data
        prev = row
    return bytes(out)


def png_bytes(canvas, pixels_per_metre=3780):
    """The canvas as PNG: 8-bit RGB, not interlaced, IHDR, pHYs, one IDAT, IEND."""
    ihdr = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 2, 0, 0, 0)
    phys = struct.pack(">IIB", pixels_per_metre, pixels_per_metre, 1)
    idat = zlib.compress(_filter_rows(canvas.rgb_rows(), 3), 9)
    return (b"\x89PNG\r\n\x1a\n" + _chunk(b"IHDR", ihdr) + _chunk(b"pHYs", phys)
            + _chunk(b"IDAT", idat) + _chunk(b"IEND", b""))


def ico_bytes(canvases):
    """A .ico holding one 32-bit image (with its AND mask) per canvas."""
    images = []
    for c in canvases:
        header = struct.pack("<IiiHHIIiiII", 40, c.width, c.height * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        colour = b"".join(c.bgra_rows_bottom_up())
        mask_stride = ((c.width + 31) // 32) * 4
        mask = bytearray()
        for y in reversed(range(c.height)):
            row = bytearray(mask_stride)
            for x in range(c.width):
                if c.a[y * c.width + x] * 255 < 0.5:
                    row[x >> 3] |= 0x80 >> (x & 7)
            mask += row
        images.append(header + colour + bytes(mask))
    out = struct.pack("<HHH", 0, 1, len(canvases))
    offset = 6 + 16 * len(canvases)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.width & 0xFF, c.height & 0xFF, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def write_file(path, data):
    with open(path, "wb") as f:
        f.write(data)
