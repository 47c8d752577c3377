#!/usr/bin/env python3
"""make_bcj2_archive.py OUT_DIR: x86-like bytes (a near call every 40 bytes to a target
inside the file, between incompressible filler) and their solid BCJ2 archive, so that
all four BCJ2 streams are large enough to be read piece by piece."""
import os
import random
import subprocess
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
size = 6 << 20
rng = random.Random(20261210)
data = bytearray(rng.getrandbits(8) for _ in range(size))
for ip in range(0, size - 5, 40):
    target = rng.randrange(size)
    data[ip] = 0xE8
    data[ip + 1:ip + 5] = ((target - (ip + 5)) & 0xFFFFFFFF).to_bytes(4, "little")
original = os.path.join(out, "code.bin")
with open(original, "wb") as f:
    f.write(data)
archive = os.path.join(out, "bcj2.7z")
if os.path.exists(archive):
    os.remove(archive)
subprocess.run(["7zz", "a", "-t7z", "-bd", "-y", "-mx=1", "-mf=BCJ2", archive, original],
               check=True, stdout=subprocess.DEVNULL)
listing = subprocess.run(["7zz", "l", "-slt", archive], check=True, capture_output=True, text=True).stdout
if "BCJ2" not in listing:
    sys.exit("the archive has no BCJ2 filter")
