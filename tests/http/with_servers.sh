#!/bin/sh
# with_servers.sh PYTHON COMMAND...: runs COMMAND with the loopback stand-ins of
# servers.py (a self-signed certificate is made for this run) and stops them afterwards.
# COMMAND finds them through ZPK_HTTP_DIR and the port variables of servers.py.
py=$1; shift
here=$(cd "$(dirname "$0")" && pwd)
dir=$(mktemp -d /tmp/zpk-http.XXXXXX) || exit 1
cleanup() {
  [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null
  rm -rf "$dir"
}
trap cleanup EXIT
trap 'exit 143' TERM INT HUP
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 \
  -addext subjectAltName=IP:127.0.0.1 -keyout "$dir/key.pem" -out "$dir/cert.pem" \
  >/dev/null 2>&1 || { echo "openssl could not make the test certificate"; exit 1; }
"$py" "$here/servers.py" "$dir" &
pid=$!
i=0
while [ ! -f "$dir/env" ]; do
  i=$((i + 1))
  if [ $i -gt 300 ] || ! kill -0 "$pid" 2>/dev/null; then
    echo "the loopback servers did not start"; exit 1
  fi
  sleep 0.1
done
set -a
. "$dir/env"
ZPK_HTTP_DIR=$dir
set +a
"$@"
rc=$?
exit $rc
