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
PFX=  # "after " for the report that follows a DPI change
ctl() { clean "$2" | grep "^${PFX}ctl $1 " | head -1 | sed "s/^${PFX}//" | cut -d' ' -f3-; }  # l t r b visible
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

# Window size, caption buttons and (on the options page) the path box at $SCALE, for the
# report with prefix $PFX; header and button artwork in the screenshot.
check_page0_and_caption() { # out shot page
  local out=$1 shot=$2 page=$3 W H CL ML PL PT
  W=$(px 600 $SCALE) H=$(px 460 $SCALE)
  set -- $(clean "$out" | grep "^${PFX}window " | sed "s/^${PFX}//" | cut -d' ' -f2-)
  [ $# -eq 4 ] && [ $(($3 - $1)) -eq "$W" ] && [ $(($4 - $2)) -eq "$H" ] || fail "${PFX}window size at $SCALE %: $*"
  # Caption buttons: 24 wide, the close button 10 from the right, 2 between them.
  CL=$((W - $(px 10 $SCALE) - $(px 24 $SCALE)))
  expect_ctl BtnClose "$out" "$CL $(px 10 $SCALE) $((W - $(px 10 $SCALE))) $(($(px 10 $SCALE) + $(px 24 $SCALE))) 1"
  ML=$((CL - $(px 2 $SCALE) - $(px 24 $SCALE)))
  expect_ctl BtnMin "$out" "$ML $(px 10 $SCALE) $((CL - $(px 2 $SCALE))) $(($(px 10 $SCALE) + $(px 24 $SCALE))) 1"
  [ "$page" = 0 ] || return 0
  PL=$((W / 2 - $(px 500 $SCALE) / 2)) PT=$(px 306 $SCALE)
  expect_ctl EditInstallPath "$out" "$PL $PT $((PL + $(px 500 $SCALE))) $((PT + $(px 34 $SCALE))) 1"
  expect_ctl BtnSelectPath "$out" "$((PL + $(px 500 $SCALE) - $(px 38 $SCALE))) $PT $((PL + $(px 500 $SCALE))) $((PT + $(px 34 $SCALE))) 1"
  [ -f "$shot" ] || return 0
  bluish "$(pixel "$shot" $((W / 2)) $(px 40 $SCALE))" || fail "header not drawn at $SCALE %: $(pixel "$shot" $((W / 2)) $(px 40 $SCALE))"
  set -- $(ctl BtnInstall "$out")
  bluish "$(pixel "$shot" $(($1 + 12)) $((($2 + $4) / 2)))" || fail "install button not drawn at $SCALE %"
}

for DPI in 96 144; do
  SCALE=$((DPI * 100 / 96))
  set_dpi "$DPI"
  for PAGE in 0 1 2; do
    OUT=$WORK/out-$SCALE-$PAGE
    SHOT=$ART/skin-$SCALE-page$PAGE.png
    show "$PAGE" "$OUT" "$SHOT"
    clean "$OUT" | grep -q "^dpi $DPI scale $SCALE\$" || fail "scale line at $SCALE %: $(clean "$OUT" | grep '^dpi')"
    check_page0_and_caption "$OUT" "$SHOT" "$PAGE"
    case $PAGE in
      0)
        # Chinese text: the skin's face name maps to an installed CJK font with every glyph,
        # and the install button's white text leaves ink on the blue button.
        clean "$OUT" | grep -q '^font 微软雅黑 family .* missing 0$' || fail "CJK font at $SCALE %: $(clean "$OUT" | grep '^font')"
        clean "$OUT" | grep -q '^font Tahoma family .* missing [1-9]' || fail "glyph probe blind at $SCALE %: $(clean "$OUT" | grep '^font')"
        if [ -f "$SHOT" ]; then
          set -- $(ctl BtnInstall "$OUT")
          INK=$(convert "$SHOT" -crop "$(($3 - $1 - 40))x$(($4 - $2 - 16))+$(($1 + 20))+$(($2 + 8))" +repage \
                -fuzz 12% -fill black +opaque white -fill white -opaque white -colorspace gray \
                -format "%[fx:int(mean*w*h)]" info:)
          [ "${INK:-0}" -ge $((SCALE / 2)) ] || fail "no text on the install button at $SCALE % ($INK white pixels)"
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
# A live DPI change: shown at 100 %, then WM_DPICHANGED for 144 DPI with a suggested
# rectangle; the window takes the 150 % size and lays every control out again.
set_dpi 96
SCALE=100
OUT=$WORK/out-dpichange
"$RUN" "$EXE" "Z:$ZIP" 0 --ms=6000 --answer --dpichange=144 >"$OUT" 2>"$OUT.err" &
PID=$!
for i in $(seq 1 240); do grep -q '^after ready' "$OUT" 2>/dev/null && break; sleep 0.25; done
if grep -q '^after ready' "$OUT"; then
  sleep 0.7
  set -- $(clean "$OUT" | grep '^after window ' | cut -d' ' -f3-)
  import -window root -crop "$(($3 - $1))x$(($4 - $2))+$1+$2" +repage "$ART/skin-dpichange-150.png" 2>/dev/null
else
  fail "DPI change never reported: $(cat "$OUT.err")"
fi
wait $PID || fail "DPI change run exited with $?"
check_page0_and_caption "$OUT" /nonexistent 0  # before: 100 %
clean "$OUT" | grep -q '^after dpi 144 scale 150$' || fail "DPI change: $(clean "$OUT" | grep '^after dpi')"
clean "$OUT" | grep -q '^notify dpichanged .* 144$' || fail "no dpichanged notification"
# The window keeps the suggested top-left corner.
set -- $(clean "$OUT" | grep '^suggested ' | cut -d' ' -f2-)
[ "$(clean "$OUT" | grep '^after window ' | cut -d' ' -f3-4)" = "$1 $2" ] || fail "suggested corner $1 $2 not taken"
PFX="after " SCALE=150
check_page0_and_caption "$OUT" "$ART/skin-dpichange-150.png" 0
PFX= SCALE=100

# Mouse and keyboard through the X server: the licence check box toggles and notifies,
# the path box takes the focus, deletes and types; resting on a caption button shows
# its tooltip in the skin's colours, leaving it hides the tooltip.
OUT=$WORK/out-input
"$RUN" "$EXE" "Z:$ZIP" 0 --ms=14000 --answer >"$OUT" 2>"$OUT.err" &
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
  set -- $(ctl BtnMin "$OUT")
  xdotool mousemove $((X + ($1 + $3) / 2)) $((Y + ($2 + $4) / 2))
  for i in $(seq 1 20); do clean "$OUT" | grep -q '^tooltip shown' && break; sleep 0.2; done
  TIP=$(clean "$OUT" | grep '^tooltip shown' | head -1)
  case $TIP in
    "tooltip shown 最小化 "*)
      set -- $(echo "$TIP" | cut -d' ' -f4-)
      sleep 0.3
      import -window root -crop "$(($3 - $1))x$(($4 - $2))+$1+$2" +repage "$ART/skin-tooltip.png" 2>/dev/null
      [ "$(pixel "$ART/skin-tooltip.png" 3 3)" = "255 255 255" ] || fail "tooltip background: $(pixel "$ART/skin-tooltip.png" 3 3)"
      # Text in the tooltip colour #8B8989: grey pixels, darker than the background.
      GREY=$(convert "$ART/skin-tooltip.png" -depth 8 txt:- | tr '(),:' '    ' | awk 'NR > 1 {
               r = $3; g = $4; b = $5; if (r < 215 && r > 90 && r - b < 20 && b - r < 20 && g - b < 20 && b - g < 20) n++ }
             END { print n + 0 }')
      [ "$GREY" -ge 15 ] || fail "no tooltip text drawn ($GREY grey pixels)" ;;
    *) fail "no tooltip for BtnMin: '$TIP'" ;;
  esac
  xdotool mousemove $((X + 300)) $((Y + 200))
  for i in $(seq 1 15); do clean "$OUT" | grep -q '^tooltip hidden' && break; sleep 0.2; done
  clean "$OUT" | grep -q '^tooltip hidden' || fail "the tooltip stayed after the mouse left the button"
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
