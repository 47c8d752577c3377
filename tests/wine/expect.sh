#!/bin/sh
# expect.sh CODE PATTERN COMMAND...: runs COMMAND, passes when it exits with CODE and its
# combined output matches the extended regular expression PATTERN (one line or several
# joined by \n in the pattern is not supported: match a single line).
code=$1 pattern=$2; shift 2
out=$("$@" 2>&1); rc=$?
printf '%s\n' "$out"
[ "$rc" = "$code" ] || { echo "expected exit code $code, got $rc"; exit 1; }
printf '%s\n' "$out" | grep -qE -- "$pattern" || { echo "output does not match: $pattern"; exit 1; }
