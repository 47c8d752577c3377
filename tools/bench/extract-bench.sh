#!/usr/bin/env bash
# extract-bench.sh [RUNS]: the extraction benchmark, from a fresh machine in one command.
# Builds both targets (into $ZPK_OUT, default out/), makes the corpora once in
# $ZPK_BENCH_CACHE (default /var/cache/zpksetup/bench), makes a throwaway Wine prefix and
# prints native 7zz against our extraction under wine64, medians of RUNS runs (default 3),
# then a silent install of the same files by an installer zpkpack makes (packed once per
# build), the i686 stub's size and what it is made of, and the time to the installer's
# first window (on a private Xvfb).
# ZPK_BENCH_BEFORE=path/to/zpklua.exe adds a row for another build (an older extraction).
set -euo pipefail
REPO=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${ZPK_OUT:-$REPO/out}
CACHE=${ZPK_BENCH_CACHE:-/var/cache/zpksetup/bench}
RUNS=${1:-3}

if ! "$REPO/zpk" build >/dev/null 2>&1; then
  echo "bench: the full build failed; building only what the benchmark runs" >&2
  cmake --build "$OUT/x86_64" --target zpklua >/dev/null
  cmake --build "$OUT/i686" --target RuvanZipSetup >/dev/null || echo "bench: no i686 installer" >&2
fi
sh "$REPO/tools/bench/corpus.sh" "$CACHE"

WORK=$(mktemp -d /tmp/zpk-bench.XXXXXX)
export WINEPREFIX
WINEPREFIX=$(sh "$REPO/tests/wine/prefix.sh" "$WORK/prefix")
export HOME=$WINEPREFIX.home WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
XVFB=
cleanup() { /usr/lib/wine/wineserver -k 2>/dev/null || true; [ -z "$XVFB" ] || kill "$XVFB"; rm -rf "$WORK"; }
trap cleanup EXIT
# The installer's first window is timed on a private X display.
if [ -z "${DISPLAY:-}" ] && command -v Xvfb >/dev/null; then
  for n in $(seq 140 170); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] && continue
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XVFB=$!
    for _ in $(seq 50); do [ -e "/tmp/.X11-unix/X$n" ] && break; sleep 0.1; done
    export DISPLAY=":$n"
    break
  done
fi
/usr/lib/wine/wineserver -p 60
/usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1 || true

python3 "$REPO/tools/bench/extract-bench.py" --runs "$RUNS" --work "$WORK/run" \
  --zpklua "$OUT/x86_64/zpklua.exe" --corpus "$CACHE" \
  --setup "$OUT/i686/RuvanZipSetup.exe" --payload "$OUT/i686/sample/RuvanZipSetup.parts/app.7z" \
  --strip i686-w64-mingw32-strip ${ZPK_BENCH_BEFORE:+--before "$ZPK_BENCH_BEFORE"} \
  --stub "$OUT/i686/zpkstub.exe" --stub-map "$OUT/i686/tools/zpkpack/stub/zpkstub_full.map" \
  --zpkpack "$OUT/dist/bin/zpkpack" --corpus-dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows
