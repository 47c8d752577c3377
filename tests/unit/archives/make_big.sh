#!/bin/sh
# make_big.sh OUT: big.7z, one solid LZMA2 block whose unpacked size (1100 MiB, almost all
# of it one file of zeros) far exceeds what the extraction may hold in memory; a small
# file before and after it. The zeros come from a sparse file, so making it is quick.
set -eu
out=$1
export LC_ALL=C.UTF-8 TZ=UTC
rm -rf "$out"
mkdir -p "$out/tree"
printf 'before the big file\n' >"$out/tree/a.txt"
truncate -s 1100M "$out/tree/huge.bin"
printf 'after the big file\n' >"$out/tree/z.txt"
(cd "$out/tree" && 7zz a -t7z -bd -y -mx=1 -m0=LZMA2 -ms=on "$out/big.7z" a.txt huge.bin z.txt >/dev/null)
rm -rf "$out/tree"
