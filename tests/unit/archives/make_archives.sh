#!/bin/sh
# make_archives.sh OUT EXE...: the reference tree and the 7z archives the extraction
# tests unpack, made with Debian's 7zz. EXE files (Windows programs of this build) go
# into the tree so that the BCJ2 archive filters real x86 code.
set -eu
out=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
export LC_ALL=C.UTF-8 TZ=UTC
rm -rf "$out"
mkdir -p "$out"
t=$out/tree
mkdir -p "$t/bin" "$t/docs/深层/第三层" "$t/empty" "$t/nested/empty inside" "$t/Ünïcödé"
printf 'hello\r\n' >"$t/readme.txt"
: >"$t/zero.dat"
head -c 300000 /dev/urandom >"$t/random.bin"  # incompressible: stored chunks
seq 1 800000 >"$t/big.txt"                     # over 4 MiB: written in several chunks
for exe in "$@"; do cp "$exe" "$t/bin/"; done
printf '第三层的说明\n' >"$t/docs/深层/第三层/说明.txt"
printf 'spaces and accents\n' >"$t/Ünïcödé/ñame with spaces.txt"
printf 'keep me read-only\n' >"$t/docs/readonly.txt"
printf 'nested\n' >"$t/nested/leaf.txt"
i=0
find "$t" -type f | sort | while read -r f; do
  i=$((i + 1))
  touch -d "2019-03-04 05:06:$((i % 60)) UTC" "$f"
done
chmod 444 "$t/docs/readonly.txt" "$t/bin/"*

a() { # ARCHIVE OPTIONS...: the whole tree, names relative to it
  archive=$1; shift
  (cd "$t" && 7zz a -t7z -bd -y "$@" "$archive" -- * >/dev/null)
}
a "$out/solid_lzma2.7z" -m0=LZMA2 -ms=on
a "$out/nonsolid_lzma.7z" -m0=LZMA -ms=off
a "$out/bcj2.7z" -m0=BCJ2 -m1=LZMA:d20 -m2=LZMA:d20 -m3=LZMA:d20 -mb0s0:1 -mb0s1:2 -mb0s2:3
7zz l -slt "$out/bcj2.7z" | grep -q 'Method = BCJ2' || { echo "bcj2.7z has no BCJ2 filter" >&2; exit 1; }

# The payload form: the first two signature bytes exchanged.
python3 - "$out/solid_lzma2.7z" "$out/app7z.bin" <<'PY'
import sys
d = bytearray(open(sys.argv[1], 'rb').read())
d[0], d[1] = d[1], d[0]
open(sys.argv[2], 'wb').write(d)
PY

# Three files for the locked-file cases, non-solid, in a known order.
l=$out/lockedsrc
mkdir -p "$l"
printf 'first\n' >"$l/a_first.txt"
printf 'new content of the locked file\n' >"$l/b_locked.txt"
printf 'last\n' >"$l/c_last.txt"
(cd "$l" && 7zz a -t7z -bd -y -ms=off "$out/locked.7z" a_first.txt b_locked.txt c_last.txt >/dev/null)

python3 "$here/hostile7z.py" "$out"
