#!/bin/sh
# make_big.sh OUT: big.7z, one solid LZMA2 block whose unpacked size (1100 MiB, almost all
# of it one file of zeros) far exceeds what the extraction may hold in memory; a small
# file before and after it. multi.7z: five blocks (a small file, three files of 160 MiB
# of zeros, a small file) for decoding several blocks at once, and multi.damage, the
# offset of a byte early in the second big file's block (flipping it breaks that block
# while the first big file is still being written). The zeros come from sparse files,
# so making them is quick.
set -eu
out=$1
export LC_ALL=C.UTF-8 TZ=UTC
rm -rf "$out"
mkdir -p "$out/tree"
printf 'before the big file\n' >"$out/tree/a.txt"
truncate -s 1100M "$out/tree/huge.bin"
printf 'after the big file\n' >"$out/tree/z.txt"
(cd "$out/tree" && 7zz a -t7z -bd -y -mx=1 -m0=LZMA2 -ms=4g "$out/big.7z" a.txt huge.bin z.txt >/dev/null)
rm -rf "$out/tree"

mkdir -p "$out/multi"
printf 'first block\n' >"$out/multi/a.txt"
truncate -s 160M "$out/multi/big1.bin" "$out/multi/big2.bin" "$out/multi/big3.bin"
printf 'last block\n' >"$out/multi/z.txt"
(cd "$out/multi" && 7zz a -t7z -bd -y -mx=1 -m0=LZMA2 -ms=1f "$out/multi.7z" a.txt big1.bin big2.bin big3.bin z.txt >/dev/null)
# Blocks lie one after another behind the 32-byte start header, in block order; the
# listing gives each block's packed size at its first file.
7zz l -slt "$out/multi.7z" | awk '
  /^Path = / { path = substr($0, 8) }
  /^Packed Size = [0-9]/ { size = substr($0, 15) + 0; if (path == "big2.bin") at = offset + int(size / 10); offset += size }
  END { if (at == 0) exit 1; print 32 + at }' >"$out/multi.damage"
rm -rf "$out/multi"
