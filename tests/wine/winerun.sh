#!/bin/sh
# Runs one Windows program of the test suite under wine64, in the prefix that the test
# command made for this run (or a developer prefix when started by hand).
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(sh "$(dirname "$0")/prefix.sh" /tmp/zpk-wine-dev) || exit 1
  export WINEPREFIX HOME=$WINEPREFIX.home
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree,mshtml=}
if [ -z "${ZPK_WINE_READY:-}" ]; then
  # Services started by this program would inherit its output and keep the caller
  # waiting: start them first, detached (quick when they already run).
  /usr/lib/wine/wineserver -p 60
  /usr/lib/wine/wine64 wineboot </dev/null >/dev/null 2>&1
fi
exec /usr/lib/wine/wine64 "$@"
