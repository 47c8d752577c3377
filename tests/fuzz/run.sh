#!/bin/sh
# run.sh FUZZ_BUILD_DIR SECONDS [TARGET...]: runs each fuzz target (all by default) for
# SECONDS at the lowest priority, on its saved corpus, its repository seeds and the
# seeds made at build time; the corpus grows in FUZZ_BUILD_DIR/work/<target>, crashes land
# there too. Prints one line per target: executions, seconds, new inputs, result.
set -u
dir=$1 seconds=$2; shift 2
src=$(cd "$(dirname "$0")" && pwd)
targets=${*:-"commandline markupvalues markup skinarchive archive7z scriptvalues"}
status=0
for t in $targets; do
  work=$dir/work/$t
  mkdir -p "$work" "$dir/logs"
  seeds=""
  [ -d "$src/corpus/$t" ] && seeds="$src/corpus/$t"
  [ -d "$dir/seeds/$t" ] && seeds="$seeds $dir/seeds/$t"
  [ "$t" = markup ] && seeds="$seeds $src/../../resources/skin/Layout"
  log=$dir/logs/$t.log
  # shellcheck disable=SC2086
  ASAN_OPTIONS=allocator_may_return_null=1:detect_leaks=1 nice -n 19 "$dir/fuzz_$t" \
    -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=20 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work" $seeds >"$log" 2>&1
  rc=$?
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  new=$(sed -n 's/^stat::new_units_added: *//p' "$log" | tail -1)
  result=ok
  [ $rc -eq 0 ] || { result="FAILED (exit $rc, see $log)"; status=1; }
  echo "fuzz $t: ${execs:-?} executions in ${seconds} s, ${new:-?} new inputs, $result"
done
exit $status
