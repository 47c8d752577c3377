#!/usr/bin/env python3
"""smallfiles.py DIR: writes a deterministic tree of many small files into DIR:
text files made of words and PNG images with gradients and noise, in 300 folders."""
import os
import random
import struct
import sys
import zlib

WORDS = ("install archive window service registry shortcut payload folder update "
         "value program version option report progress button picture driver "
         "network system module library resource setting profile").split()


def png(width, height, rng):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    rows = bytearray()
    base = rng.randrange(256)
    for y in range(height):
        rows.append(0)
        for x in range(width):
            rows += bytes(((base + x * 3) & 255, (y * 5) & 255, rng.randrange(64)))
    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(bytes(rows), 6)) + chunk(b"IEND", b""))


def text(rng):
    lines = []
    for _ in range(rng.randrange(4, 120)):
        lines.append(" ".join(rng.choice(WORDS) for _ in range(rng.randrange(3, 14))))
    return ("\r\n".join(lines) + "\r\n").encode()


def main():
    root = sys.argv[1]
    rng = random.Random(13)
    count = int(os.environ.get("SMALLFILES_COUNT", "30000"))
    for i in range(count):
        folder = os.path.join(root, "d%03d" % (i % 300), "s%d" % (i % 7))
        os.makedirs(folder, exist_ok=True)
        if i % 4 == 3:
            data, name = png(rng.randrange(8, 48), rng.randrange(8, 48), rng), "img%05d.png" % i
        else:
            data, name = text(rng), "note%05d.txt" % i
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
