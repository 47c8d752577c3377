#!/bin/sh
# Runs one Windows program of the test suite under wine64, in the prefix that the test
# command made for this run (or a developer prefix when started by hand).
if [ -z "${WINEPREFIX:-}" ]; then
  WINEPREFIX=$(sh "$(dirname "$0")/prefix.sh" /tmp/zpk-wine-dev) || exit 1
  export WINEPREFIX
fi
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-winemenubuilder.exe=d;mscoree,mshtml=}
exec /usr/lib/wine/wine64 "$@"
