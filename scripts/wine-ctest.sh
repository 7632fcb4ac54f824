#!/usr/bin/env bash
# The tests of a Windows build folder under Wine: bash scripts/wine-ctest.sh BUILD [ctest args...]
# Wine's server now and then stalls the programs running at that moment (seen once: a program
# that had passed every test never exited, another stopped in a plain event wait, both until
# their time-out): a program that fails gets one more run, and fails the run if that fails too.
# Every program that needed the second run is named at the end, so a flaky one is seen.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build=$(cd "$1" && pwd); shift
jobs=${JOBS:-$(nproc)}
log=$build/wine-runs.log
: >"$log"
status=0
(cd "$build" && KALMO_WINE_RUN_LOG=$log ctest --output-on-failure -j "$jobs" --repeat until-pass:2 "$@") || status=$?
retried=$(sort "$log" | uniq -d)
if [ -n "$retried" ]; then
  if [ $status -eq 0 ]; then
    echo "wine-ctest: passed only on the second run in ${build#"$root"/}:" $retried
  else
    echo "wine-ctest: ran twice in ${build#"$root"/} (see the failures above):" $retried
  fi
fi
exit $status
