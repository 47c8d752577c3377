#!/bin/sh
# rmstat_exports.sh OBJDUMP DLL ARCH: the statistics library exports exactly its 20 plain
# (undecorated) names, at ordinals 1 to 20 in binding order, for the expected machine.
set -eu
objdump=$1 dll=$2 arch=$3
case $arch in
  i686) format=pei-i386 ;;
  x86_64) format=pei-x86-64 ;;
  *) echo "unknown arch $arch"; exit 2 ;;
esac
dump=$("$objdump" -p "$dll")
echo "$dump" | grep -q "file format $format" || { echo "$dll is not $format"; exit 1; }

expected="1 stat_init
2 stat_proxy
3 stat_dispatch_addr
4 stat_online_addr
5 stat_action_addr
6 stat_install_addr
7 stat_loginout_addr
8 stat_unionid
9 stat_appid
10 stat_level
11 stat_version
12 stat_version_ex
13 stat_online
14 stat_offline
15 stat_action
16 stat_mutilaction
17 stat_install
18 stat_close
19 stat_app_install
20 stat_http_post"

# "[Ordinal/Name Pointer] Table" lists "[  i] name" with i = ordinal - base (base 1).
actual=$(echo "$dump" | awk '
  /^\[Ordinal\/Name Pointer\] Table/ { inside = 1; next }
  inside && /^[ \t]*$/ { inside = 0 }
  inside && match($0, /\[ *[0-9]+\]/) {
    i = substr($0, RSTART + 1, RLENGTH - 2) + 1
    name = substr($0, RSTART + RLENGTH); gsub(/^[ \t]+|[ \t]+$/, "", name)
    print i, name
  }' | sort -n)
base=$(echo "$dump" | sed -n 's/^Ordinal Base[ \t]*\([0-9]*\).*/\1/p' | head -1)
[ "$base" = 1 ] || { echo "ordinal base is '$base', expected 1"; exit 1; }
if [ "$actual" != "$expected" ]; then
  echo "exports of $dll differ:"
  printf '%s\n' "$actual" > /tmp/rmstat_exports.$$
  printf '%s\n' "$expected" | diff - /tmp/rmstat_exports.$$ || true
  rm -f /tmp/rmstat_exports.$$
  exit 1
fi
echo "rmstat exports ok ($arch)"
