#!/bin/sh
# make_7z_seeds.sh OUT: small 7z archives of every kind the payload reader meets, as
# seeds for the archive fuzz target.
set -eu
out=$1
rm -rf "$out"; mkdir -p "$out"
src=$(mktemp -d); trap 'rm -rf "$src"' EXIT
mkdir -p "$src/dir/sub" "$src/empty"
printf 'hello\n' > "$src/a.txt"
printf '' > "$src/dir/zero.bin"
seq 1 400 > "$src/dir/sub/numbers.txt"
head -c 3000 /dev/urandom > "$src/dir/random.bin" 2>/dev/null || seq 1 900 > "$src/dir/random.bin"
printf 'MZ\220\000\003\000\000\000\004\000\350\000\000\000\000' > "$src/dir/tool.exe"
chmod 444 "$src/a.txt"
a() { (cd "$src" && 7zz a -t7z -bd -y "$@" >/dev/null); }
a -m0=LZMA2 -mx=1 "$out/lzma2.7z" a.txt dir empty
a -m0=Copy -mhc=off "$out/copy_plainheader.7z" a.txt dir
a -m0=PPMd "$out/ppmd.7z" dir/sub
a -m0=LZMA -ms=off "$out/lzma_nonsolid.7z" a.txt dir
a -mf=BCJ -m0=LZMA2 "$out/bcj.7z" dir/tool.exe a.txt
a -m0=Delta:4 -m1=LZMA "$out/delta.7z" dir/random.bin
a -mhe=off -mtm=on -mtc=on -mta=on "$out/times.7z" a.txt
a "$out/emptydir.7z" empty
python3 "$(dirname "$0")/../unit/archives/hostile7z.py" "$out"
touch "$out/.made"
