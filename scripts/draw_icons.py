#!/usr/bin/env python3
"""Draws the window's icons as PNG files into src/ui/res/icons (no dependencies beyond Python),
and the utility icon once more as SVG (wavory.svg) for the icon theme's scalable size.

The utility icon: a blue rounded square with a white wireless sign. The radio transmitter picture
of the General page: a USB adapter with its antenna sending. Shapes are described in a 256 x 256
design space and rasterised with supersampling, so every size comes out smooth.

Run it again after changing a shape: python3 scripts/draw_icons.py
"""
import math
import os
import struct
import zlib

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "src", "ui", "res", "icons")


def rounded_rect(x0, y0, x1, y1, r):
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r
    return inside


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def arc(cx, cy, radius, width, centre_deg, half_span_deg):
    """A ring segment with round ends; angles measured from straight up, clockwise."""
    lo, hi = radius - width / 2, radius + width / 2
    ends = []
    for sign in (-1, 1):
        a = math.radians(centre_deg + sign * half_span_deg)
        ends.append((cx + radius * math.sin(a), cy - radius * math.cos(a)))

    def inside(x, y):
        d = math.hypot(x - cx, y - cy)
        if lo <= d <= hi:
            ang = math.degrees(math.atan2(x - cx, cy - y))
            diff = (ang - centre_deg + 180) % 360 - 180
            if abs(diff) <= half_span_deg:
                return True
        return any((x - ex) ** 2 + (y - ey) ** 2 <= (width / 2) ** 2 for ex, ey in ends)
    return inside


def gradient(top, bottom, y0, y1):
    def colour(x, y):
        t = min(max((y - y0) / (y1 - y0), 0.0), 1.0)
        return tuple(top[i] + (bottom[i] - top[i]) * t for i in range(3))
    return colour


def solid(rgb):
    return lambda x, y: rgb


def render(layers, size, samples):
    """layers: (inside, colour, alpha) painted in order over transparency."""
    scale = 256.0 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0.0, 0.0, 0.0, 0.0]
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    r = g = b = a = 0.0
                    for inside, colour, alpha in layers:
                        if inside(x, y):
                            cr, cg, cb = colour(x, y)
                            r = cr * alpha + r * (1 - alpha)
                            g = cg * alpha + g * (1 - alpha)
                            b = cb * alpha + b * (1 - alpha)
                            a = alpha + a * (1 - alpha)
                    acc[0] += r
                    acc[1] += g
                    acc[2] += b
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha > 0:
                pixel = [round(acc[i] / n / alpha) for i in range(3)]
            else:
                pixel = [0, 0, 0]
            row += bytes(pixel + [round(alpha * 255)])
        rows.append(bytes(row))
    return rows


def write_png(path, rows, size):
    raw = b"".join(b"\x00" + r for r in rows)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


WHITE = (255, 255, 255)


def app_icon_layers(size):
    layers = [(rounded_rect(8, 8, 248, 248, 52), gradient((33, 150, 243), (13, 71, 161), 8, 248), 1.0)]
    if size <= 24:
        # Fewer, bolder strokes stay readable at small sizes.
        layers += [(arc(128, 200, 82, 40, 0, 44), solid(WHITE), 1.0),
                   (arc(128, 200, 146, 40, 0, 44), solid(WHITE), 1.0),
                   (circle(128, 200, 26), solid(WHITE), 1.0)]
    else:
        layers += [(arc(128, 196, 62, 24, 0, 45), solid(WHITE), 1.0),
                   (arc(128, 196, 102, 24, 0, 45), solid(WHITE), 1.0),
                   (arc(128, 196, 142, 24, 0, 45), solid(WHITE), 1.0),
                   (circle(128, 196, 20), solid(WHITE), 1.0)]
    return layers


def app_icon_svg():
    """The large utility icon as SVG: the same shapes as app_icon_layers, in the same 256 space."""
    def arc_path(cx, cy, radius, half_span_deg):
        a = math.radians(half_span_deg)
        x0, y0 = cx - radius * math.sin(a), cy - radius * math.cos(a)
        x1, y1 = cx + radius * math.sin(a), cy - radius * math.cos(a)
        return "M %.2f %.2f A %d %d 0 0 1 %.2f %.2f" % (x0, y0, radius, radius, x1, y1)
    arcs = "\n".join('  <path d="%s"/>' % arc_path(128, 196, r, 45) for r in (62, 102, 142))
    return """<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
 <defs>
  <linearGradient id="face" x1="0" y1="8" x2="0" y2="248" gradientUnits="userSpaceOnUse">
   <stop offset="0" stop-color="#2196f3"/>
   <stop offset="1" stop-color="#0d47a1"/>
  </linearGradient>
 </defs>
 <rect x="8" y="8" width="240" height="240" rx="52" fill="url(#face)"/>
 <g fill="none" stroke="#ffffff" stroke-width="24" stroke-linecap="round">
%s
 </g>
 <circle cx="128" cy="196" r="20" fill="#ffffff"/>
</svg>
""" % arcs


def transmitter_layers():
    blue = (66, 165, 245)
    return [
        (rounded_rect(124, 40, 132, 120, 4), solid((96, 125, 139)), 1.0),  # antenna
        (circle(128, 40, 10), solid((96, 125, 139)), 1.0),
        (arc(128, 40, 34, 10, -90, 35), solid(blue), 1.0),
        (arc(128, 40, 34, 10, 90, 35), solid(blue), 1.0),
        (arc(128, 40, 58, 10, -90, 35), solid(blue), 0.7),
        (arc(128, 40, 58, 10, 90, 35), solid(blue), 0.7),
        (rounded_rect(92, 112, 164, 206, 14), gradient((84, 110, 122), (38, 50, 56), 112, 206), 1.0),  # body
        (circle(128, 136, 6), solid((102, 187, 106)), 1.0),  # link LED
        (rounded_rect(104, 204, 152, 244, 3), solid((176, 190, 197)), 1.0),  # USB plug
        (rounded_rect(114, 216, 124, 226, 1), solid((84, 110, 122)), 1.0),
        (rounded_rect(132, 216, 142, 226, 1), solid((84, 110, 122)), 1.0),
    ]


def main():
    os.makedirs(OUT, exist_ok=True)
    for size in (16, 22, 24, 32, 48, 64, 128, 256):
        samples = 8 if size <= 32 else 4 if size <= 128 else 3
        write_png(os.path.join(OUT, "wavory-%d.png" % size), render(app_icon_layers(size), size, samples), size)
    write_png(os.path.join(OUT, "transmitter.png"), render(transmitter_layers(), 96, 4), 96)
    with open(os.path.join(OUT, "wavory.svg"), "w") as f:
        f.write(app_icon_svg())


if __name__ == "__main__":
    main()
