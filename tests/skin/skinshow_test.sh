#!/bin/sh
# The skin's three pages under Wine at 100 % and 150 % (Wine's DPI set through its
# registry): screenshots into the artefact folder, control rectangles checked against
# the layout at each scale, and a few pixels against the artwork.
#   skinshow_test.sh SKINSHOW.exe SKIN.zip ARTEFACT_DIR WINERUN
set -u
EXE=$1 ZIP=$2 ART=$3 RUN=$4
mkdir -p "$ART"
WORK=$(mktemp -d)
FAILS=0
fail() { echo "FAIL: $*"; FAILS=$((FAILS + 1)); }
set_dpi() {
  # Wine takes the DPI when its server starts, and a killed server does not save the
  # registry: stop it, write the value with a fresh one, let that one exit (it saves),
  # then keep a server alive again for the next tests.
  /usr/lib/wine/wineserver -k 2>/dev/null
  /usr/lib/wine/wineserver -w 2>/dev/null
  /usr/lib/wine/wine64 reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  /usr/lib/wine/wineserver -w 2>/dev/null
  /usr/lib/wine/wineserver -p 60 2>/dev/null
  # Services started later by a test would hold that test's output open: start them now.
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
}
cleanup() { set_dpi 96; rm -rf "$WORK"; }
trap cleanup EXIT
[ -n "${DISPLAY:-}" ] || { echo "FAIL: no X display"; exit 1; }
# The same prefix as the wrapper's (the test run's, or the developer one).
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(sh "$(dirname "$RUN")/prefix.sh" /tmp/zpk-wine-dev) || exit 1
  export WINEPREFIX HOME=$WINEPREFIX.home
fi
export WINEDEBUG=${WINEDEBUG:--all}

clean() { tr -d '\r' <"$1"; }                      # the program writes CRLF lines
px() { echo $(( ($1 * $2 + 50) / 100 )); }         # value at scale, rounded
ctl() { clean "$2" | grep "^ctl $1 " | head -1 | cut -d' ' -f3-; }  # l t r b visible
expect_ctl() { # name out expected...
  local got; got=$(ctl "$1" "$2")
  [ "$got" = "$3" ] || fail "$1 at $SCALE %: got '$got', want '$3'"
}
# True when the pixel is mostly blue (the artwork's theme), as "r g b".
bluish() { awk -v c="$1" 'BEGIN { split(c, v, " "); exit !(v[3] > v[1] + 40 && v[3] > 150) }'; }
pixel() { # png x y -> "r g b"
  convert "$1" -format "%[fx:int(255*u.p{$2,$3}.r)] %[fx:int(255*u.p{$2,$3}.g)] %[fx:int(255*u.p{$2,$3}.b)]" info:
}

show() { # page out -> runs the window, screenshot when it reports, waits for it
  local page=$1 out=$2 shot=$3 i
  "$RUN" "$EXE" "Z:$ZIP" "$page" --ms=8000 --answer >"$out" 2>"$out.err" &
  local pid=$!
  for i in $(seq 1 240); do grep -q '^ready' "$out" 2>/dev/null && break; sleep 0.25; done
  if grep -q '^ready' "$out"; then
    sleep 0.5
    set -- $(clean "$out" | grep '^window ' | cut -d' ' -f2-)
    import -window root -crop "$(($3 - $1))x$(($4 - $2))+$1+$2" +repage "$shot" 2>/dev/null || fail "no screenshot $shot"
  else
    fail "page $page at $SCALE % never became ready: $(cat "$out.err")"
  fi
  wait $pid || fail "page $page at $SCALE % exited with $?"
}

for DPI in 96 144; do
  SCALE=$((DPI * 100 / 96))
  set_dpi "$DPI"
  for PAGE in 0 1 2; do
    OUT=$WORK/out-$SCALE-$PAGE
    SHOT=$ART/skin-$SCALE-page$PAGE.png
    show "$PAGE" "$OUT" "$SHOT"
    clean "$OUT" | grep -q "^dpi $DPI scale $SCALE\$" || fail "scale line at $SCALE %: $(clean "$OUT" | grep '^dpi')"
    W=$(px 600 $SCALE) H=$(px 460 $SCALE)
    set -- $(clean "$OUT" | grep '^window ' | cut -d' ' -f2-)
    [ $# -eq 4 ] && [ $(($3 - $1)) -eq "$W" ] && [ $(($4 - $2)) -eq "$H" ] || fail "window size at $SCALE %: $*"
    # Caption buttons: 24 wide, the close button 10 from the right, 2 between them.
    CL=$((W - $(px 10 $SCALE) - $(px 24 $SCALE)))
    expect_ctl BtnClose "$OUT" "$CL $(px 10 $SCALE) $((W - $(px 10 $SCALE))) $(($(px 10 $SCALE) + $(px 24 $SCALE))) 1"
    ML=$((CL - $(px 2 $SCALE) - $(px 24 $SCALE)))
    expect_ctl BtnMin "$OUT" "$ML $(px 10 $SCALE) $((CL - $(px 2 $SCALE))) $(($(px 10 $SCALE) + $(px 24 $SCALE))) 1"
    case $PAGE in
      0)
        PL=$((W / 2 - $(px 500 $SCALE) / 2)) PT=$(px 306 $SCALE)
        expect_ctl EditInstallPath "$OUT" "$PL $PT $((PL + $(px 500 $SCALE))) $((PT + $(px 34 $SCALE))) 1"
        expect_ctl BtnSelectPath "$OUT" "$((PL + $(px 500 $SCALE) - $(px 38 $SCALE))) $PT $((PL + $(px 500 $SCALE))) $((PT + $(px 34 $SCALE))) 1"
        if [ -f "$SHOT" ]; then
          bluish "$(pixel "$SHOT" $((W / 2)) $(px 40 $SCALE))" || fail "header not drawn at $SCALE %: $(pixel "$SHOT" $((W / 2)) $(px 40 $SCALE))"
          set -- $(ctl BtnInstall "$OUT")
          bluish "$(pixel "$SHOT" $(($1 + 12)) $((($2 + $4) / 2)))" || fail "install button not drawn at $SCALE %"
        fi ;;
      1)
        set -- $(ctl ProgressInstall "$OUT")
        [ "$#" -eq 5 ] && [ "$5" = 1 ] && [ $(($3 - $1)) -eq "$(px 500 $SCALE)" ] || fail "progress bar at $SCALE %: $*"
        [ "$(ctl BtnInstall "$OUT" | cut -d' ' -f5)" = 0 ] || fail "options page still visible at $SCALE %" ;;
      2)
        expect_ctl BtnStart "$OUT" "$(px 346 $SCALE) $(px 333 $SCALE) $(px 562 $SCALE) $(px 381 $SCALE) 1" ;;
    esac
  done
done
# Mouse and keyboard through the X server: the licence check box toggles and notifies,
# the path box takes the focus, deletes and types.
set_dpi 96
SCALE=100
OUT=$WORK/out-input
"$RUN" "$EXE" "Z:$ZIP" 0 --ms=9000 --answer >"$OUT" 2>"$OUT.err" &
PID=$!
for i in $(seq 1 240); do grep -q '^ready' "$OUT" 2>/dev/null && break; sleep 0.25; done
set -- $(clean "$OUT" | grep '^window ' | cut -d' ' -f2-)
if [ $# -eq 4 ]; then
  X=$1 Y=$2
  WID=$(xdotool search --name '^RuvanZip' | head -1)
  at() { xdotool mousemove $((X + $1)) $((Y + $2)) click 1; sleep 0.4; }
  set -- $(ctl CheckLicence "$OUT")
  at 300 100                                  # activates the window
  at $(($1 + 7)) $((($2 + $4) / 2))
  set -- $(ctl EditInstallPath "$OUT")
  at $((($1 + $3) / 2)) $((($2 + $4) / 2))
  xdotool key --window "$WID" End BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace a b c
  sleep 1
else
  fail "input window never became ready: $(cat "$OUT.err")"
fi
wait $PID || fail "input run exited with $?"
clean "$OUT" | grep -q '^notify selectchanged CheckLicence' || fail "no selectchanged from the licence check box"
clean "$OUT" | grep -q '^option CheckLicence=0$' || fail "licence check box still selected"
clean "$OUT" | grep -q '^notify setfocus EditInstallPath' || fail "path box never took the focus"
clean "$OUT" | grep -qF 'text EditInstallPath=C:\Program Files\abc' || fail "typing: $(clean "$OUT" | grep '^text')"

echo "skin.show: $FAILS failure(s); screenshots in $ART"
[ "$FAILS" -eq 0 ]
