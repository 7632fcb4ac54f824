#!/usr/bin/env bash
# Builds the fuzz targets of fuzz/ (clang, libFuzzer with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from its committed seed
# corpus. Any crash, leak, sanitizer report, time-out (10 s for one input) or memory limit
# (2048 MB) fails the run; the input that caused it is kept in build/fuzz/artifacts/<target>/.
#   scripts/fuzz.sh [seconds-per-target] [target...]    (default 20 s, every target)
# The mutations start from a fixed seed (FUZZ_SEED, default 1) so that a test run repeats what
# the last one did; FUZZ_SEED=0 lets each run take a new one, for longer searches.
# burn_fuzz runs a whole burn over a real port for every input (about 1.3 s, the port's 50 ms
# read steps), too slow for mutation in a short budget: it replays its seeds and then the
# generated corpus of fuzz/make_burn_corpus.py for the time given, and mutates only with the
# time left after the whole replay.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
seconds=${1:-20}
shift || true
jobs=${JOBS:-$(nproc)}
build=build/fuzz

CC=${CC:-clang-14} CXX=${CXX:-clang++-14} \
  cmake -S . -B "$build" -DKALMO_FUZZ=ON -DKALMO_TESTS=OFF -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null

if [ $# -gt 0 ]; then
  targets=("$@")
else
  targets=()
  for src in fuzz/*_fuzz.cpp; do targets+=("$(basename "$src" .cpp)"); done
fi
cmake --build "$build" -j "$jobs" --target "${targets[@]}"

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:strict_string_checks=1:allocator_may_return_null=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
# The debug channel of the tool talks to nobody while the burn is fuzzed.
export KALMO_DEBUG_PORT=${KALMO_DEBUG_PORT:-1}

fuzzer_options=(-rss_limit_mb=2048 -malloc_limit_mb=2048 -timeout=10 -close_fd_mask=1 -seed="${FUZZ_SEED:-1}")

# Runs the slow target on its seeds and then on the generated inputs while the time lasts, one
# input a run; mutates with what time is left. Sets executions and result.
replay() {
  local target=$1 seeds=$2 work=$3 artifacts=$4 log=$5
  local generated=$build/corpus/${target%_fuzz}-generated
  python3 fuzz/make_burn_corpus.py "$generated" >/dev/null
  local start=$SECONDS nseeds
  nseeds=$(find "$seeds" -type f | wc -l)
  executions=0
  : >"$log"
  while read -r input; do
    if [ "$executions" -ge "$nseeds" ] && [ $((SECONDS - start)) -ge "$seconds" ]; then break; fi
    if ! "$build/fuzz/$target" "${fuzzer_options[@]}" -artifact_prefix="$artifacts/" "$input" >>"$log" 2>&1; then
      result=FAILED
      echo "input that failed: $input" >>"$log"
    fi
    executions=$((executions + 1))
  done < <(find "$seeds" -type f | sort; find "$generated" -type f | sort)
  local left=$((seconds - (SECONDS - start)))
  if [ "$result" = ok ] && [ "$left" -gt 30 ]; then
    "$build/fuzz/$target" "${fuzzer_options[@]}" -max_total_time="$left" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" "$seeds" >>"$log" 2>&1 || result=FAILED
    local mutated
    mutated=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    executions=$((executions + ${mutated:-0}))
  fi
  speed=$(( executions / (SECONDS - start > 0 ? SECONDS - start : 1) ))
}

status=0
summary=$build/fuzz-summary.txt
printf '%-26s %8s %12s %8s %8s %8s  %s\n' target seconds executions exec/s corpus cov result >"$summary"
for target in "${targets[@]}"; do
  name=${target%_fuzz}
  work=$build/corpus/$name
  artifacts=$build/artifacts/$name
  log=$build/logs/$name.log
  mkdir -p "$work" "$artifacts" "$(dirname "$log")"
  seeds=fuzz/corpus/$name
  [ -d "$seeds" ] || seeds=
  printf '\n=== %s (%s s)\n' "$target" "$seconds"
  result=ok
  if [ "$target" = burn_fuzz ]; then
    replay "$target" "$seeds" "$work" "$artifacts" "$log"
  else
    # New inputs go to the working corpus; the committed seeds are only read.
    "$build/fuzz/$target" "${fuzzer_options[@]}" -max_total_time="$seconds" -print_final_stats=1 \
      -artifact_prefix="$artifacts/" "$work" $seeds >"$log" 2>&1 || result=FAILED
    executions=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  fi
  if [ "$result" != ok ]; then
    status=1
    tail -n 60 "$log"
  fi
  corpus=$(grep -Eo 'corp: [0-9]+' "$log" | tail -n 1 | grep -Eo '[0-9]+' || true)
  cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -n 1 | grep -Eo '[0-9]+' || true)
  printf '%-26s %8s %12s %8s %8s %8s  %s\n' "$target" "$seconds" "${executions:-?}" "${speed:-?}" "${corpus:-?}" \
    "${cov:-?}" "$result" | tee -a "$summary"
done

printf '\n=== summary (%s)\n' "$summary"
cat "$summary"
exit $status
