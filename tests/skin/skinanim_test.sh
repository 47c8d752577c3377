#!/bin/sh
# Animated pictures under Wine: a layout with an animated GIF and an animated WebP in
# GifAnim controls, shown in a layered engine window; screenshots taken over a few
# seconds must catch every frame's colour at each control (the control repaints as its
# frames advance), and a still picture never changes.
#   skinanim_test.sh SKINSHOW.exe SKIN.zip ARTEFACT_DIR WINERUN
set -u
EXE=$1 ZIP=$2 ART=$3 RUN=$4
mkdir -p "$ART"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no X display"; exit 1; }
clean() { tr -d '\r' <"$1"; }

# The package: the shipped fonts, two animations of two 400 ms frames and a still picture.
PKG=$WORK/pkg
mkdir -p "$PKG/Layout" "$PKG/Image"
(cd "$PKG" && unzip -q "$ZIP" font.xml)
convert -delay 40 -size 40x40 "xc:#FF0000" "xc:#0000FF" -loop 0 "$PKG/Image/anim.gif"
convert -delay 40 -size 40x40 "xc:#00FF00" "xc:#FFFF00" -loop 0 -define webp:lossless=true "$PKG/Image/anim.webp"
convert -size 40x40 "xc:#FF00FF" "$PKG/Image/still.png"
cat >"$PKG/Layout/Anim.xml" <<'XML'
<?xml version="1.0" encoding="utf-8"?>
<Window size="320,160" caption="0,0,0,20" bktrans="true">
  <Include source="font.xml"/>
  <Container name="AnimRoot" bkcolor="#FFFFFFFF">
    <GifAnim name="AnimGif" float="true" pos="20,40,100,120" bkimage="Image/anim.gif"/>
    <GifAnim name="AnimWebp" float="true" pos="120,40,200,120" bkimage="Image/anim.webp"/>
    <GifAnim name="AnimStill" float="true" pos="220,40,300,120" bkimage="Image/still.png"/>
  </Container>
</Window>
XML
(cd "$PKG" && zip -q -r -Z deflate "$WORK/anim.zip" .)

OUT=$WORK/out
"$RUN" "$EXE" "Z:$WORK/anim.zip" 0 --layout=Layout/Anim.xml --ms=12000 --answer >"$OUT" 2>"$OUT.err" &
PID=$!
for i in $(seq 1 240); do grep -q '^ready' "$OUT" 2>/dev/null && break; sleep 0.25; done
if grep -q '^ready' "$OUT"; then
  set -- $(clean "$OUT" | grep '^window ' | cut -d' ' -f2-)
  GEOM="$(($3 - $1))x$(($4 - $2))+$1+$2"
  # Centres of the controls, in window coordinates (the screenshots are of the window).
  centre() { clean "$OUT" | grep "^ctl $1 " | awk '{ print int(($3 + $5) / 2) "," int(($4 + $6) / 2) }'; }
  GIF=$(centre AnimGif) WEBP=$(centre AnimWebp) STILL=$(centre AnimStill)
  [ -n "$GIF" ] && [ -n "$WEBP" ] && [ -n "$STILL" ] || fail "controls not laid out: $(clean "$OUT" | grep '^ctl')"
  # Screenshots of the window for about 5 s; the colour at each control's centre.
  for n in $(seq 1 14); do
    import -window root -crop "$GEOM" +repage "$WORK/shot.png" 2>/dev/null || continue
    [ "$n" = 1 ] && cp "$WORK/shot.png" "$ART/anim-first.png"
    convert "$WORK/shot.png" -depth 8 \
      -format "gif %[hex:u.p{$GIF}]\nwebp %[hex:u.p{$WEBP}]\nstill %[hex:u.p{$STILL}]\n" info: >>"$WORK/colours" 2>/dev/null
    sleep 0.1
  done
  cp "$WORK/shot.png" "$ART/anim-last.png"
else
  fail "the animation window never became ready: $(cat "$OUT.err")"
fi
wait $PID || fail "skinshow exited with $?"

seen() { grep -c "^$1 $2" "$WORK/colours" 2>/dev/null; }
for want in "gif FF0000" "gif 0000FF" "webp 00FF00" "webp FFFF00" "still FF00FF"; do
  set -- $want
  [ "$(seen "$1" "$2")" -gt 0 ] || fail "$1 never showed #$2: $(grep "^$1 " "$WORK/colours" | sort | uniq -c | tr '\n' ';')"
done
[ "$(grep '^still ' "$WORK/colours" | sort -u | wc -l)" -eq 1 ] || fail "the still picture changed: $(grep '^still ' "$WORK/colours" | sort | uniq -c | tr '\n' ';')"
echo "skin.anim: $FAILS failure(s); frame colours: $(sort "$WORK/colours" | uniq -c | tr '\n' ';')"
[ "$FAILS" -eq 0 ]
