#!/usr/bin/env bash
# Builds and runs every test: the native build, the 64-bit Windows build under Wine, and the
# 32-bit Windows build (compiled only: no 32-bit Wine here). Build folders go below build/.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}
status=0

step() { printf '\n=== %s\n' "$*"; }

step "native build and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$jobs"
(cd build/native && ctest --output-on-failure -j "$jobs") || status=1

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && [ -x /usr/lib/wine/wine64 ]; then
  step "Windows x86_64 build, tests under Wine"
  cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/win64 -j "$jobs"
  # Wine's server now and then stalls the programs running at that moment (seen once: a program
  # that had passed every test never exited, another stopped in a plain event wait, both until
  # their time-out): a program that fails gets one more run, and fails the step if that fails too.
  (cd build/win64 && ctest --output-on-failure -j "$jobs" --repeat until-pass:2) || status=1

  step "Windows i686 build (compiled only)"
  cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DKALMO_TESTS=OFF >/dev/null
  cmake --build build/win32 -j "$jobs"
else
  echo "mingw-w64 or Wine missing: install them with scripts/install-deps.sh" >&2
  status=1
fi

step "sanitizers"
bash scripts/sanitize.sh || status=1

if [ -f scripts/fuzz.sh ]; then
  step "fuzzing (bounded runs)"
  bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}" || status=1
fi

if [ -f scripts/wine-e2e.sh ]; then
  step "Windows program end to end under Wine"
  bash scripts/wine-e2e.sh || status=1
fi

if [ "$(id -u)" = 0 ] && command -v dpkg >/dev/null; then
  step "packages: install the Debian package and burn with it"
  bash scripts/package-test.sh || status=1
fi

if [ $status -eq 0 ]; then echo; echo "all test steps passed"; else echo; echo "some test steps FAILED"; fi
exit $status
