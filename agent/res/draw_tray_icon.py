#!/usr/bin/env python3
"""Draws the agent's tray icon (16x16 and 32x32, 32-bit with alpha) as tray.ico:
a tide-blue disc with a white wave across it."""
import math
import struct
import sys


def pixel(size, x, y):
    cx = cy = (size - 1) / 2
    r = size / 2 - 0.5
    d = math.hypot(x - cx, y - cy)
    if d > r:
        return (0, 0, 0, 0)
    wave = cy + math.sin((x / size) * 2 * math.pi) * size * 0.12
    if abs(y - wave) < size * 0.09:
        return (255, 255, 255, 255)
    shade = 1.0 - 0.35 * (y / size)
    return (int(40 * shade), int(120 * shade), int(200 * shade), 255)


def image(size):
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in range(size - 1, -1, -1):  # bottom-up
        for x in range(size):
            r, g, b, a = pixel(size, x, y)
            rows.append(struct.pack('BBBB', b, g, r, a))
    mask_row = b'\0' * (((size + 31) // 32) * 4)
    return header + b''.join(rows) + mask_row * size


def main(path):
    images = [image(16), image(32)]
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip((16, 32), images):
        out += struct.pack('<BBBBHHII', size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(path, 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'tray.ico')
