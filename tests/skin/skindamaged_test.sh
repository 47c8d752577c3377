#!/bin/sh
# Damaged skin packages: the engine never crashes. An unreadable archive or layout shows
# the skin failure box and ends with exit code 1; missing pictures just draw nothing.
#   skindamaged_test.sh SKINSHOW.exe SKIN.zip WINERUN
set -u
EXE=$1 ZIP=$2 RUN=$3
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }

run() { # zip [page] -> exit code; output in $WORK/out, $WORK/err
  "$RUN" "$EXE" "Z:$1" "${2:-0}" --ms=1500 --answer >"$WORK/out" 2>"$WORK/err"
}
expect_box() { # name zip
  run "$2"
  rc=$?
  [ "$rc" -eq 1 ] || fail "$1: exit code $rc, want 1 ($(cat "$WORK/err"))"
  tr -d '\r' <"$WORK/err" | grep -qx 'MSGBOX style=0x10 caption=Skin text=加载资源文件失败：Layout/Layout.xml' ||
    fail "$1: no skin failure box: $(cat "$WORK/err")"
}

head -c 20000 /dev/urandom >"$WORK/random.zip"
expect_box "random bytes" "$WORK/random.zip"
head -c "$(($(stat -c %s "$ZIP") / 2))" "$ZIP" >"$WORK/truncated.zip"
expect_box "truncated archive" "$WORK/truncated.zip"

mkdir -p "$WORK/pkg" && (cd "$WORK/pkg" && unzip -q "$ZIP")
(cd "$WORK/pkg" && sed 's#</TabLayout>##' Layout/Layout.xml >Layout/bad && mv Layout/bad Layout/Layout.xml &&
  zip -q -r -Z deflate "$WORK/malformed.zip" .)
expect_box "malformed layout" "$WORK/malformed.zip"

(cd "$WORK/pkg" && unzip -q -o "$ZIP" Layout/Layout.xml && zip -q -r -Z deflate "$WORK/noimages.zip" font.xml Layout)
run "$WORK/noimages.zip"
rc=$?
[ "$rc" -eq 0 ] || fail "missing pictures: exit code $rc ($(cat "$WORK/err"))"
grep -q '^ctl BtnClose ' "$WORK/out" || fail "missing pictures: the window did not lay out"

# Every picture damaged: garbage, cut short, or an animation with its frames cut off.
mkdir -p "$WORK/garbled" && (cd "$WORK/garbled" && unzip -q "$ZIP")
for f in "$WORK"/garbled/Image/*; do
  case $f in
    *.png) head -c 40 "$f" >"$f.cut" && mv "$f.cut" "$f" ;;
    *.svg) printf '<svg width="99999999" height="-3"><path d="M 0 0 L' >"$f" ;;
    *) head -c 3000 /dev/urandom >"$f" ;;
  esac
done
convert -delay 10 -size 600x460 xc:red xc:blue -loop 0 "$WORK/anim.gif"
head -c 2000 "$WORK/anim.gif" >"$WORK/garbled/Image/InstallBk0.png"
(cd "$WORK/garbled" && zip -q -r -Z deflate "$WORK/garbled.zip" .)
for page in 0 1 2; do
  run "$WORK/garbled.zip" $page
  rc=$?
  [ "$rc" -eq 0 ] && grep -q '^ready' "$WORK/out" || fail "damaged pictures, page $page: exit code $rc ($(cat "$WORK/err"))"
done

# The layout with its font include gone: still a window, with the fallback font.
(cd "$WORK/pkg" && zip -q -r -Z deflate "$WORK/nofont.zip" Layout Image)
run "$WORK/nofont.zip"
rc=$?
[ "$rc" -eq 0 ] && grep -q '^ready' "$WORK/out" || fail "missing include: exit code $rc ($(cat "$WORK/err"))"

echo "skin.damaged: $FAILS failure(s)"
[ "$FAILS" -eq 0 ]
