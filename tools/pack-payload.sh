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
# the installer decodes as a stream in bounded memory. Dictionary and blocks were chosen
# by measurement (tools/bench/installer-bench.sh, on Wine's 64-bit DLLs, 637 MiB, 2 cores):
#   one block, 256 MiB dictionary (7zz's -mx=9): 86.31 MB, extraction 4.7 s, 292 MiB
#   one block, 64 MiB dictionary:                88.01 MB, extraction 4.7 s, 100 MiB
#   two blocks, 32 MiB dictionaries:             89.06 MB, extraction 3.3 s, 109 MiB
#   five blocks of a quarter (before):          89.1 MB, extraction 5.2 s, 210 MiB
# One block decodes on one core however the writing is spread; two blocks decode side by
# side on the two cores most machines have, in the memory of one 64 MiB dictionary, for
# 1.2 % more size. A payload under 64 MiB stays one block: it decodes quickly anyway.
total=$(du -sbc "$dir" "$@" | tail -1 | cut -f1)
blocks=-ms=on
[ "$total" -lt $((64 << 20)) ] || blocks=-ms=$(( (total / 2 + 1048575) / 1048576 ))m
(cd "$dir" && 7zz a -t7z -mx=9 -m0=LZMA2 -md=32m -mf=BCJ2 "$blocks" -bd -bso0 -bsp0 "$abs" . "$@")
{ dd if="$tmp" bs=1 skip=1 count=1 status=none
  dd if="$tmp" bs=1 count=1 status=none
  tail -c +3 "$tmp"; } > "$out"
rm -f "$tmp"
