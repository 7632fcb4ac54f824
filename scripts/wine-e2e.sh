#!/usr/bin/env bash
# The Windows program end to end under Wine, twice: the 64-bit build under the 64-bit loader, and
# the 32-bit release program (scripts/build-windows-release.sh, the kalmo.exe that is shipped)
# under the 32-bit loader, each with the serial device test programs of its own word size. Each pass runs in a fresh Wine prefix of its own the serial port's device
# tests on a COM port, the driver discovery through services and SERIALCOMM, burns with and
# without verify, a failing verify, and the dialog with keys (tests/wine/). Any failure fails the
# script; so does a missing Wine or mingw-w64.
#   bash scripts/wine-e2e.sh            (JOBS=n for the builds, KEEP_PREFIX=1 keeps the prefixes)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
wineserver=/usr/lib/wine/wineserver
native=build/native
release=build/release-win32

for tool in x86_64-w64-mingw32-g++-posix i686-w64-mingw32-g++-posix x86_64-w64-mingw32-objdump \
    /usr/lib/wine/wine64 /usr/lib/wine/wine "$wineserver" python3 cmake; do
  if ! command -v "$tool" >/dev/null; then
    echo "wine-e2e: $tool is missing (scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done

step() { printf '\n=== %s\n' "$*"; }

# The test programs of a Windows build folder (configured with its tests when it is new).
build_windows_tests() {
  local build=$1 toolchain=$2
  cmake -S . -B "$build" -DCMAKE_TOOLCHAIN_FILE="cmake/$toolchain" -DCMAKE_BUILD_TYPE=Release \
    -DKALMO_TESTS=ON >/dev/null
  cmake --build "$build" -j "$jobs" --target kalmo zcomport_wine_test os_serial_test
}

step "64-bit Windows build"
build_windows_tests build/win64 mingw-x86_64.cmake
cmake --build build/win64 -j "$jobs" --target stay_service

step "32-bit Windows build and the 32-bit release program"
build_windows_tests build/win32 mingw-i686.cmake
JOBS=$jobs bash scripts/build-windows-release.sh

step "native programmer simulator"
cmake -S . -B "$native" >/dev/null
cmake --build "$native" -j "$jobs" --target kalmo-sim

prefixes=()
cleanup() {
  for prefix in "${prefixes[@]}"; do
    WINEPREFIX=$prefix "$wineserver" -k 2>/dev/null || true
    if [ -z "${KEEP_PREFIX:-}" ]; then rm -rf "$prefix" "$prefix-wineserver.log"; fi
  done
}
trap cleanup EXIT

# run_pass NAME LOADER BUILD KALMO_EXE: the tests of tests/wine in a fresh prefix below BUILD.
# Both passes stand the driver's services in with the 64-bit stay_service, as a 64-bit Windows
# has 64-bit drivers whatever the word size of the program that asks for them. (The 32-bit
# fixture started in a fresh prefix refuses its first stop under Wine: sc reports a broken
# control pipe while the service manager still shows it running.)
run_pass() {
  local name=$1 wine=$2 build=$3 exe=$4
  local prefix=$root/$build/wine-e2e-prefix
  step "tests under Wine: $name ($exe under $wine)"
  rm -rf "$prefix" "$prefix-wineserver.log"
  prefixes+=("$prefix")
  local start
  start=$(date +%s)
  KALMO_WIN_BUILD=$root/$build \
  KALMO_EXE=$root/$exe \
  KALMO_COMPORT_TEST=$root/$build/tests/zcomport_wine_test.exe \
  KALMO_OS_SERIAL_TEST=$root/$build/tests/os_serial_test.exe \
  KALMO_STAY_SERVICE=$root/build/win64/tests/wine/stay_service.exe \
  KALMO_SIM=$root/$native/sim/kalmo-sim \
  KALMO_WINE_PREFIX=$prefix \
  KALMO_WINE=$wine \
  KALMO_WINESERVER=$wineserver \
  PYTHONDONTWRITEBYTECODE=1 \
  PYTHONPATH=$root/tests/wine:$root/tests/integration \
    python3 -m unittest discover -s tests/wine -p 'test_*.py' -v
  echo "wine-e2e: $name passed in $(( $(date +%s) - start )) s"
}

run_pass "64-bit build" /usr/lib/wine/wine64 build/win64 build/win64/kalmo.exe
run_pass "32-bit release program" /usr/lib/wine/wine build/win32 "$release/kalmo.exe"

step "imports of the 64-bit program"
bash scripts/check-windows-imports.sh build/win64/kalmo.exe
