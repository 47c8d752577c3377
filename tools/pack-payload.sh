#!/bin/sh
# pack-payload.sh DIR OUT [FILE...]: packs the contents of DIR, and each FILE (an absolute
# path) at the archive's top level, into the 7z archive OUT with its first two bytes
# exchanged ("z7" instead of "7z"), as the installer carries its payload.
set -eu
dir=$1 out=$2
shift 2
tmp=$out.tmp.7z
rm -f "$tmp" "$out"
abs=$(cd "$(dirname "$tmp")" && pwd)/$(basename "$tmp")
# The highest level, with its methods named: LZMA2 and, for executables, BCJ2 are what
# the installer decodes as a stream in bounded memory. Solid blocks of a quarter of the
# payload each, but at least 128 MiB: the installer decodes up to four blocks at once,
# and every block boundary costs ratio (the next block starts with an empty dictionary).
# Measured on 116 MiB of Wine's DLLs at this level: one block 18.69 MB, two blocks of
# 64 MiB 18.94 MB (+1.3 %), four of 32 MiB 20.00 MB (+7 %); a boundary costs about
# 0.25 MB of packed size, so a payload under 128 MiB stays one block and a larger one is
# split in about four (7zz closes a block at the file that reaches the size).
total=$(du -sbc "$dir" "$@" | tail -1 | cut -f1)
block=$(( (total / 4 + 1048575) / 1048576 ))
[ "$block" -ge 128 ] || block=128
(cd "$dir" && 7zz a -t7z -mx=9 -m0=LZMA2 -mf=BCJ2 "-ms=${block}m" -bd -bso0 -bsp0 "$abs" . "$@")
{ dd if="$tmp" bs=1 skip=1 count=1 status=none
  dd if="$tmp" bs=1 count=1 status=none
  tail -c +3 "$tmp"; } > "$out"
rm -f "$tmp"
