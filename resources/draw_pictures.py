#!/usr/bin/env python3
"""Draw the two pictures used by Tolvan File Explorer.

bin.png       68 x 93 RGBA: a black, open-topped, cylindrical waste-paper
              basket seen slightly from above, on a transparent background.
              It is the target the user drops files on to delete them.
listimage.png 25 x 26 RGBA: an opaque black block with a white 10 x 10
              square in the middle, used as the file list's item icon.

Both also come drawn at twice the size (bin@2x.png, listimage@2x.png) for
screens with a device pixel ratio of 2.

Only the Python standard library is used: shapes are rasterised here with
supersampling for anti-aliasing and the PNG files are written with zlib and
struct.  The output is deterministic, so running

    python3 resources/draw_pictures.py

from the repository root regenerates all four files byte for byte.
"""

import math
import os
import struct
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))


# --------------------------------------------------------------------------
# PNG writing
# --------------------------------------------------------------------------

def _chunk(kind, data):
    body = kind + data
    return (struct.pack(">I", len(data)) + body
            + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF))


def write_png(path, width, height, pixels):
    """Write an 8-bit RGBA PNG; pixels is a row-major list of (r, g, b, a)."""
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # filter type: none
        for x in range(width):
            raw.extend(pixels[y * width + x])
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    png = (b"\x89PNG\r\n\x1a\n"
           + _chunk(b"IHDR", header)
           + _chunk(b"IDAT", zlib.compress(bytes(raw), 9))
           + _chunk(b"IEND", b""))
    with open(path, "wb") as f:
        f.write(png)


def render(width, height, shade, samples=8):
    """Rasterise shade(x, y) -> grey level or None with supersampling.

    Every pixel is split into samples x samples sub-pixels; coverage gives
    the alpha and the covered sub-pixels are averaged for the colour.
    """
    pixels = []
    n = samples * samples
    offsets = [(i + 0.5) / samples for i in range(samples)]
    for py in range(height):
        for px in range(width):
            covered = 0
            total = 0.0
            for oy in offsets:
                for ox in offsets:
                    v = shade(px + ox, py + oy)
                    if v is not None:
                        covered += 1
                        total += v
            if covered == 0:
                pixels.append((0, 0, 0, 0))
                continue
            grey = int(round(total / covered))
            grey = max(0, min(255, grey))
            alpha = int(round(255 * covered / n))
            pixels.append((grey, grey, grey, alpha))
    return pixels


# --------------------------------------------------------------------------
# The waste-paper basket
# --------------------------------------------------------------------------

BIN_W, BIN_H = 68, 93

CX = 34.0            # vertical axis of the basket
TOP_Y = 10.5         # centre of the top opening
TOP_A = 32.6         # half width of the top rim
TOP_B = 9.3          # half height of the top rim (how far we look down)
RIM = 2.4            # thickness of the rolled rim, horizontally
BOT_Y = 84.6         # centre of the bottom ellipse
BOT_A = 23.5         # half width at the bottom (the basket tapers)
BOT_B = 7.6          # half height of the bottom ellipse

LIGHT = math.radians(-38)   # light comes from the upper left
RIBS = 22                   # vertical ribs around the whole circumference


def _ellipse(x, y, cy, a, b):
    """< 1 inside the ellipse centred on (CX, cy) with half axes a, b."""
    dx = (x - CX) / a
    dy = (y - cy) / b
    return dx * dx + dy * dy


def _front_curve(x, cy, a, b):
    """y of the lower (front) half of an ellipse at column x, or None."""
    t = (x - CX) / a
    if abs(t) >= 1.0:
        return None
    return cy + b * math.sqrt(1.0 - t * t)


def _half_width(y):
    t = (y - TOP_Y) / (BOT_Y - TOP_Y)
    return TOP_A + (BOT_A - TOP_A) * t


def _wall(theta, dark=0.0):
    """Grey level of the outer wall at angle theta around the axis.

    theta = 0 faces the viewer; negative angles are on the left.
    """
    lambert = max(0.0, math.cos(theta - LIGHT))
    # Narrow sheen to make the plastic read as a curved surface.
    sheen = max(0.0, math.cos(theta - LIGHT * 1.15)) ** 24
    # Shallow vertical ribs moulded into the wall.
    rib = math.cos(theta * RIBS)
    rib = max(0.0, rib) ** 3
    grey = 12 + 26 * lambert + 56 * sheen + 10 * rib * (0.4 + lambert)
    # Edges of the silhouette fall off into black.
    grey *= 0.55 + 0.45 * math.cos(theta) ** 0.5
    return grey * (1.0 - dark)


def bin_shade(x, y):
    top = _ellipse(x, y, TOP_Y, TOP_A, TOP_B)
    inner_a = TOP_A - RIM
    inner_b = TOP_B - RIM * TOP_B / TOP_A - 0.6
    inner = _ellipse(x, y, TOP_Y + 0.3, inner_a, inner_b)

    # The opening: the inside of the back wall, dark and falling into
    # shadow towards the front rim.
    if inner < 1.0:
        t = (y - (TOP_Y - inner_b)) / (2 * inner_b)   # 0 at back, 1 at front
        t = max(0.0, min(1.0, t))
        u = (x - CX) / inner_a
        theta = math.asin(max(-1.0, min(1.0, u)))
        rib = max(0.0, math.cos(theta * RIBS)) ** 3
        grey = (1.0 - t) ** 1.4 * (30 + 6 * rib)
        # The inside is lit from the upper left too, so its right half
        # (facing left) is a touch lighter.
        grey *= 0.8 + 0.35 * max(0.0, u)
        return grey

    # The rolled rim around the opening.
    if top < 1.0:
        u = (x - CX) / TOP_A
        theta = math.asin(max(-1.0, min(1.0, u)))
        back = y < TOP_Y + 0.3
        if back:
            # Top of the back rim: catches the light.
            return 58 + 34 * max(0.0, math.cos(theta - LIGHT))
        return 46 + 48 * max(0.0, math.cos(theta - LIGHT)) ** 2

    if y < TOP_Y:
        return None

    # The tapered body: between the two slanted sides, down to the
    # front half of the bottom ellipse.
    w = _half_width(y)
    if abs(x - CX) >= w and _ellipse(x, y, BOT_Y, BOT_A, BOT_B) >= 1.0:
        return None
    bottom = _front_curve(x, BOT_Y, BOT_A, BOT_B)
    if y > BOT_Y and (bottom is None or y > bottom):
        return None
    if y > BOT_Y and abs(x - CX) >= BOT_A:
        return None

    ww = max(w, 1e-6) if y <= BOT_Y else BOT_A
    u = max(-1.0, min(1.0, (x - CX) / ww))
    theta = math.asin(u)

    # A collar just below the rim on the outside.
    rim_front = _front_curve(x, TOP_Y, TOP_A, TOP_B)
    if rim_front is not None and y < rim_front + 2.6:
        return 0.75 * _wall(theta) + 8

    # A thin darker groove under the collar, then the wall.
    if rim_front is not None and y < rim_front + 3.6:
        return _wall(theta, dark=0.6)

    # Foot ring along the bottom edge.
    if bottom is not None and y > bottom - 2.8:
        if y > bottom - 1.0:
            return _wall(theta, dark=0.5)
        return 0.85 * _wall(theta) + 6

    # The wall darkens slightly towards the floor.
    fall = (y - TOP_Y) / (BOT_Y - TOP_Y)
    return _wall(theta, dark=0.25 * fall)


# --------------------------------------------------------------------------
# The list item picture
# --------------------------------------------------------------------------

LIST_W, LIST_H = 25, 26
SQUARE = 10


def list_pixels(scale=1):
    left = (LIST_W - SQUARE) // 2 * scale
    top = (LIST_H - SQUARE) // 2 * scale
    side = SQUARE * scale
    pixels = []
    for y in range(LIST_H * scale):
        for x in range(LIST_W * scale):
            inside = left <= x < left + side and top <= y < top + side
            pixels.append((255, 255, 255, 255) if inside else (0, 0, 0, 255))
    return pixels


def main():
    # Each picture also comes at twice the size, named with "@2x", for screens of twice the
    # density; Qt picks that file by its name.
    for scale, suffix in ((1, ""), (2, "@2x")):
        write_png(os.path.join(HERE, "bin%s.png" % suffix),
                  BIN_W * scale, BIN_H * scale,
                  render(BIN_W * scale, BIN_H * scale,
                         lambda x, y: bin_shade(x / scale, y / scale)))
        write_png(os.path.join(HERE, "listimage%s.png" % suffix),
                  LIST_W * scale, LIST_H * scale, list_pixels(scale))


if __name__ == "__main__":
    main()
