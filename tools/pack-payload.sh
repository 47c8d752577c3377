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
# the installer decodes as a stream in bounded memory; one solid block, since blocks are
# unpacked one after another anyway and every split costs ratio.
(cd "$dir" && 7zz a -t7z -mx=9 -m0=LZMA2 -mf=BCJ2 -ms=on -bd -bso0 -bsp0 "$abs" . "$@")
{ dd if="$tmp" bs=1 skip=1 count=1 status=none
  dd if="$tmp" bs=1 count=1 status=none
  tail -c +3 "$tmp"; } > "$out"
rm -f "$tmp"
