#!/bin/sh
# Makes a 64-bit Wine prefix for the tests (once; an existing one is reused) and prints
# its path. Windows 10 reported to programs, Wine's own fonts, Chinese font substitutes,
# no menu entries on the host. Expects the 32-bit route (LD_PRELOAD) to be set already
# when 32-bit programs are to run in it.
set -e
PREFIX=${1:?prefix directory}
export WINEPREFIX=$PREFIX HOME=$PREFIX.home WINEDEBUG=-all
export WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree,mshtml="
if [ ! -f "$PREFIX/.zpk-ready" ]; then
  mkdir -p "$HOME"
  /usr/lib/wine/wine64 wineboot -i >/dev/null 2>&1
  /usr/lib/wine/wine64 reg add 'HKCU\Software\Wine' /v Version /d win10 /f >/dev/null 2>&1
  fonts="$PREFIX/drive_c/windows/Fonts"
  mkdir -p "$fonts"
  cp /usr/share/wine/fonts/tahoma*.ttf /usr/share/wine/fonts/marlett.ttf "$fonts/" 2>/dev/null || true
  reg=$(mktemp --suffix=.reg)
  # UTF-16LE, as regedit wants for non-ASCII names.
  printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_CURRENT_USER\\Software\\Wine\\Fonts\\Replacements]\r\n"微软雅黑"="WenQuanYi Micro Hei"\r\n"Microsoft YaHei"="WenQuanYi Micro Hei"\r\n' \
    | iconv -f UTF-8 -t UTF-16LE | { printf '\377\376'; cat; } > "$reg"
  /usr/lib/wine/wine64 regedit /S "$(/usr/lib/wine/wine64 winepath -w "$reg" 2>/dev/null)" >/dev/null 2>&1 || true
  rm -f "$reg"
  /usr/lib/wine/wineserver -w
  touch "$PREFIX/.zpk-ready"
fi
echo "$PREFIX"
