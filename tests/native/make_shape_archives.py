#!/usr/bin/env python3
"""make_shape_archives.py OUT_DIR: x86-like bytes (OUT_DIR/code.bin) packed by 7zz into one
solid block per method chain the payload reader tells apart: streamed coders alone, under
BCJ and under BCJ2, and chains only the library's whole-block decoder takes."""
import os
import random
import subprocess
import sys

out = sys.argv[1]
os.makedirs(out, exist_ok=True)
rng = random.Random(20261210)
words = [rng.randbytes(rng.randrange(3, 12)) for _ in range(200)]
data = bytearray()
while len(data) < 200000:
    data += rng.choice(words)
    if rng.random() < 0.2:  # a near call, so that the x86 filters have work
        data += b"\xe8" + rng.randrange(1 << 16).to_bytes(4, "little")
original = os.path.join(out, "code.bin")
with open(original, "wb") as f:
    f.write(data)
# archive name: 7zz's method switches and what its listing must show
chains = {
    "copy.7z": (["-m0=Copy"], "Copy"),
    "lzma.7z": (["-m0=LZMA"], "LZMA:"),
    "lzma2.7z": (["-m0=LZMA2"], "LZMA2:"),
    "bcj_lzma2.7z": (["-mf=BCJ", "-m0=LZMA2"], "BCJ LZMA2:"),
    "bcj2_lzma2.7z": (["-mf=BCJ2", "-m0=LZMA2"], "BCJ2 LZMA2:"),
    "bcj2_lzma.7z": (["-mf=BCJ2", "-m0=LZMA"], "BCJ2 LZMA:"),
    "ppmd.7z": (["-m0=PPMd"], "PPMD"),
    "bcj_ppmd.7z": (["-mf=BCJ", "-m0=PPMd"], "BCJ PPMD"),
    "arm64_lzma2.7z": (["-mf=ARM64", "-m0=LZMA2"], "ARM64 LZMA2:"),
    "delta_lzma.7z": (["-m0=Delta:4", "-m1=LZMA"], "Delta:4 LZMA:"),
}
for name, (switches, method) in chains.items():
    archive = os.path.join(out, name)
    if os.path.exists(archive):
        os.remove(archive)
    subprocess.run(["7zz", "a", "-t7z", "-bd", "-y", "-mx=1", *switches, archive, "code.bin"],
                   cwd=out, check=True, stdout=subprocess.DEVNULL)
    listing = subprocess.run(["7zz", "l", "-slt", archive], check=True, capture_output=True, text=True).stdout
    if "Method = " + method not in listing or "Blocks = 1" not in listing:
        sys.exit("%s is not one block of %s:\n%s" % (name, method, listing[:2000]))
