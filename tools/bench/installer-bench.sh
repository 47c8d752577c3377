#!/usr/bin/env bash
# installer-bench.sh [RUNS]: our silent install against NSIS's, side by side in one command
# (not part of ./zpk test; honours ZPK_OUT). Builds the targets and zpkpack, installs
# Debian's nsis when makensis is missing (a reference tool only), packs the corpus (Wine's
# 64-bit DLLs) and a product of a few small files with both (once, kept in the benchmark
# cache), makes one clean template prefix and runs installer-bench.py: medians of RUNS
# (default 3), alternating, each install in a fresh copy of the template.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/../.." && pwd)
OUT=${ZPK_OUT:-$REPO/out}
CACHE=${ZPK_BENCH_CACHE:-/var/cache/zpksetup/bench}
RUNS=${1:-3}

"$REPO/zpk" build >/dev/null
if ! command -v makensis >/dev/null; then
  echo "bench: installing Debian's nsis (the reference installer)" >&2
  apt-get install -y nsis >/dev/null
fi
mkdir -p "$CACHE"
WORK=$(mktemp -d /tmp/zpk-ibench.XXXXXX)
cleanup() { WINEPREFIX=$WORK/template /usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WORK"; }
trap cleanup EXIT
printf 'int main(void) { return 0; }\n' >"$WORK/nothing.c"
x86_64-w64-mingw32-gcc -O2 -s -o "$WORK/nothing.exe" "$WORK/nothing.c"
sh "$REPO/tests/wine/prefix.sh" "$WORK/template" >/dev/null
# What prefix.sh made the prefix with; the runs' shortcuts stay inside the work folder.
export HOME=$WORK/template.home WINEDEBUG=-all WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
WINEPREFIX=$WORK/template /usr/lib/wine/wineserver -w
python3 "$REPO/tools/bench/installer-bench.py" --runs "$RUNS" --work "$WORK/run" --cache "$CACHE" \
  --template "$WORK/template" --nothing "$WORK/nothing.exe" --zpkpack "$OUT/dist/bin/zpkpack" \
  --corpus-dir /usr/lib/x86_64-linux-gnu/wine/x86_64-windows ${ZPK_BENCH_ONLY:+--only "$ZPK_BENCH_ONLY"}
