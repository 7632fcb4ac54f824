#!/usr/bin/env bash
# The main job without hardware: builds kalmo and the programmer simulator, starts the simulator
# on a pseudo-terminal, and burns and verifies the sample HEX file through it. Any further
# arguments replace the default parameters "-pon -mp -b samples/sample.hex".
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=${KALMO_BUILD:-build/native}

cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j "${JOBS:-$(nproc)}" --target kalmo kalmo-sim >/dev/null

sim_out=$(mktemp)
"$build/sim/kalmo-sim" --baud 19200 --page-write-ms 4.5 >"$sim_out" &
sim=$!
trap 'kill $sim 2>/dev/null; wait $sim 2>/dev/null; rm -f "$sim_out"' EXIT
for _ in $(seq 100); do [ -s "$sim_out" ] && break; sleep 0.05; done
port=$(head -n1 "$sim_out")
[ -n "$port" ] || { echo "the simulator did not start" >&2; exit 1; }

if [ $# -eq 0 ]; then set -- -pon -mp -b samples/sample.hex; fi
echo "\$ KALMO_PORT=$port kalmo $*"
KALMO_PORT=$port "$build/kalmo" "$@" </dev/null
