#!/usr/bin/env python3
"""Draws the 48 x 48 program icon (resources/lumetra.png): a tilted stack of
checkered squares fading outwards around a white glow, on a dark rounded tile."""
import math
import struct
import sys
import zlib

SIZE = 48


def pixel(x, y):
    cx = cy = (SIZE - 1) / 2
    dx, dy = x - cx, y - cy
    # Rounded tile.
    r = 9.0
    qx, qy = max(abs(dx) - (SIZE / 2 - r), 0), max(abs(dy) - (SIZE / 2 - r), 0)
    edge = r - math.hypot(qx, qy)
    if edge <= 0:
        return (0, 0, 0, 0)
    alpha = min(1.0, edge)
    red, green, blue = 0.04, 0.04, 0.08
    # Stack of squares turned by 20 degrees, fainter as they grow.
    a = math.radians(20)
    u = dx * math.cos(a) + dy * math.sin(a)
    v = -dx * math.sin(a) + dy * math.cos(a)
    for i in range(6):
        half = 4 + i * 3.4
        d = max(abs(u), abs(v))
        if d <= half:
            checker = (int(math.floor((u + 40) / 2.5)) + int(math.floor((v + 40) / 2.5))) % 2
            weight = (1 - i / 6) * (0.35 if checker else 0.12)
            red += weight * 0.75
            green += weight * 0.85
            blue += weight
        if abs(d - half) < 0.6:
            red += 0.10
            green += 0.12
            blue += 0.18
    glow = math.exp(-(dx * dx + dy * dy) / 30.0)
    red, green, blue = red + glow, green + glow, blue + glow
    return tuple(int(max(0, min(1, c)) * 255 + 0.5) for c in (red, green, blue, alpha))


def main(path):
    rows = b"".join(b"\0" + bytes(c for x in range(SIZE) for c in pixel(x, y)) for y in range(SIZE))

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", SIZE, SIZE, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as f:
        f.write(png)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "lumetra.png")
