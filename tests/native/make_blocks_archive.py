#!/usr/bin/env python3
"""make_blocks_archive.py OUT_DIR: six files of x86-like bytes (near calls between
compressible filler) in OUT_DIR/files and their BCJ2 archive of three solid blocks (two
files each), OUT_DIR/blocks.7z, for decoding several blocks at once."""
import os
import random
import shutil
import subprocess
import sys

out = sys.argv[1]
files = os.path.join(out, "files")
shutil.rmtree(files, ignore_errors=True)
os.makedirs(files)
rng = random.Random(20261222)
words = [rng.randbytes(rng.randrange(3, 12)) for _ in range(400)]
for n in range(6):
    size = (3 << 20) + n * 77777
    data = bytearray()
    while len(data) < size:
        data += rng.choice(words)
        if rng.random() < 0.2:
            target = rng.randrange(size)
            data += b"\xe8" + ((target - (len(data) + 5)) & 0xFFFFFFFF).to_bytes(4, "little")
    with open(os.path.join(files, "part%d.bin" % n), "wb") as f:
        f.write(data[:size])
archive = os.path.join(out, "blocks.7z")
if os.path.exists(archive):
    os.remove(archive)
subprocess.run(["7zz", "a", "-t7z", "-bd", "-y", "-mx=1", "-mf=BCJ2", "-ms=2f", archive, "."],
               cwd=files, check=True, stdout=subprocess.DEVNULL)
listing = subprocess.run(["7zz", "l", "-slt", archive], check=True, capture_output=True, text=True).stdout
if "BCJ2" not in listing or "Blocks = 3" not in listing:
    sys.exit("blocks.7z is not three BCJ2 blocks:\n" + listing[:2000])
