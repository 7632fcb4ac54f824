#!/usr/bin/env bash
# The Windows program end to end under Wine: builds the 64-bit Windows build and the native
# programmer simulator, then runs in one Wine prefix the serial port's device tests on a COM port,
# the driver discovery through services and SERIALCOMM, burns with and without verify, a failing
# verify, and the dialog with keys (tests/wine/); then builds the 32-bit release program and checks
# its imports. Any failure fails the script; so does a missing Wine or mingw-w64.
#   bash scripts/wine-e2e.sh            (JOBS=n for the build, KEEP_PREFIX=1 keeps the prefix)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-2}
wine=${KALMO_WINE:-/usr/lib/wine/wine64}
wineserver=${KALMO_WINESERVER:-/usr/lib/wine/wineserver}
win=build/win64
native=build/native

for tool in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump "$wine" "$wineserver" python3 cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "wine-e2e: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done

step() { printf '\n=== %s\n' "$*"; }

step "64-bit Windows build"
if [ -f "$win/CMakeCache.txt" ]; then
  cmake -S . -B "$win" >/dev/null
else
  cmake -S . -B "$win" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
fi
cmake --build "$win" -j "$jobs" --target kalmo zcomport_wine_test os_serial_test
targets=$(cmake --build "$win" --target help)
if grep -qw stay_service <<<"$targets"; then
  cmake --build "$win" -j "$jobs" --target stay_service
  service=$win/tests/wine/stay_service.exe
else
  # The service fixture on its own while the Windows build does not include tests/wine yet.
  cmake -S tests/wine -B "$win-fixtures" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$win-fixtures" -j "$jobs"
  service=$win-fixtures/stay_service.exe
fi

step "native programmer simulator"
cmake -S . -B "$native" >/dev/null
cmake --build "$native" -j "$jobs" --target kalmo-sim

step "tests under Wine"
prefix=$root/$win/wine-e2e-prefix
# A fresh prefix for every run; its server is ended on the way out, whatever happened.
rm -rf "$prefix" "$prefix-wineserver.log"
cleanup() {
  WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
  if [ -z "${KEEP_PREFIX:-}" ]; then rm -rf "$prefix" "$prefix-wineserver.log"; fi
}
trap cleanup EXIT
start=$(date +%s)
KALMO_WIN_BUILD=$root/$win \
KALMO_EXE=$root/$win/kalmo.exe \
KALMO_COMPORT_TEST=$root/$win/tests/zcomport_wine_test.exe \
KALMO_OS_SERIAL_TEST=$root/$win/tests/os_serial_test.exe \
KALMO_STAY_SERVICE=$root/$service \
KALMO_SIM=$root/$native/sim/kalmo-sim \
KALMO_WINE_PREFIX=$prefix \
KALMO_WINE=$wine \
KALMO_WINESERVER=$wineserver \
PYTHONDONTWRITEBYTECODE=1 \
PYTHONPATH=$root/tests/wine:$root/tests/integration \
  python3 -m unittest discover -s tests/wine -p 'test_*.py' -v
echo "wine-e2e: the tests under Wine passed in $(( $(date +%s) - start )) s"

step "32-bit release program (built and checked; no 32-bit Wine to run it)"
bash scripts/check-windows-imports.sh "$win/kalmo.exe"
JOBS=$jobs bash scripts/build-windows-release.sh
