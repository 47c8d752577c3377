#!/bin/sh
# corpus.sh CACHE: makes the benchmark corpora once (kept in CACHE, outside the tree):
#   dlls.7z  - Wine's 64-bit PE DLLs, solid LZMA2 with BCJ2 at the highest level
#   small.7z - tens of thousands of small generated text and image files, same settings
# A corpus is rebuilt only when its archive is missing.
set -eu
cache=$1
mkdir -p "$cache"
dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows

if [ ! -f "$cache/dlls.7z" ]; then
  echo "corpus: packing $(du -sh "$dlls" | cut -f1) of Wine DLLs (a few minutes, once)" >&2
  rm -f "$cache/dlls.tmp.7z"
  (cd "$dlls" && 7zz a -t7z -mx=9 -mf=BCJ2 -bd -bso0 -bsp0 "$cache/dlls.tmp.7z" .)
  mv "$cache/dlls.tmp.7z" "$cache/dlls.7z"
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
