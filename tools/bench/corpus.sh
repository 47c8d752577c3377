#!/bin/sh
# corpus.sh CACHE: makes the benchmark corpora once (kept in CACHE, outside the tree):
#   dlls-payload.7z - Wine's 64-bit PE DLLs packed as an installer's payload is
#                     (tools/pack-payload.sh: LZMA2 + BCJ2, highest level, several blocks)
#   small.7z - tens of thousands of small generated text and image files (7zz -mx=9)
# A corpus is rebuilt only when its archive is missing.
set -eu
cache=$1
mkdir -p "$cache"
dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

# Packed by the installer's own packer (the blocks our payloads carry), its first two
# bytes put back so that 7zz reads the same archive.
if [ ! -f "$cache/dlls-payload.7z" ]; then
  echo "corpus: packing $(du -sh "$dlls" | cut -f1) of Wine DLLs (a few minutes, once)" >&2
  rm -f "$cache/dlls.tmp.z7" "$cache/dlls.tmp.7z"
  sh "$(dirname "$0")/../pack-payload.sh" "$dlls" "$cache/dlls.tmp.z7"
  { dd if="$cache/dlls.tmp.z7" bs=1 skip=1 count=1 status=none
    dd if="$cache/dlls.tmp.z7" bs=1 count=1 status=none
    tail -c +3 "$cache/dlls.tmp.z7"; } >"$cache/dlls.tmp.7z"
  rm -f "$cache/dlls.tmp.z7"
  mv "$cache/dlls.tmp.7z" "$cache/dlls-payload.7z"
fi

if [ ! -f "$cache/small.7z" ]; then
  echo "corpus: generating the small-files tree" >&2
  tree=$cache/small.tree
  rm -rf "$tree"
  python3 "$(dirname "$0")/smallfiles.py" "$tree"
  rm -f "$cache/small.tmp.7z"
  (cd "$tree" && 7zz a -t7z -mx=9 -bd -bso0 -bsp0 "$cache/small.tmp.7z" .)
  mv "$cache/small.tmp.7z" "$cache/small.7z"
  rm -rf "$tree"
fi
