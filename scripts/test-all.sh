#!/usr/bin/env bash
# Builds and runs every test: the native build, the 64-bit Windows build's tests under 64-bit Wine,
# the 32-bit Windows build's tests under 32-bit Wine, the sanitizers, fuzzing, and the Windows
# program end to end (the 64-bit build and the 32-bit release program). Build folders go below
# build/; JOBS (default: every core) sets the parallel jobs of every step.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
export JOBS=${JOBS:-$(nproc)}
jobs=$JOBS
status=0

step() { printf '\n=== %s\n' "$*"; }

step "native build and tests"
cmake -S . -B build/native -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build/native -j "$jobs"
(cd build/native && ctest --output-on-failure -j "$jobs") || status=1

if command -v x86_64-w64-mingw32-g++-posix >/dev/null && command -v i686-w64-mingw32-g++-posix >/dev/null \
    && [ -x /usr/lib/wine/wine64 ] && [ -x /usr/lib/wine/wine ]; then
  step "Windows x86_64 build, tests under 64-bit Wine"
  cmake -S . -B build/win64 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-x86_64.cmake -DCMAKE_BUILD_TYPE=Release -DKALMO_TESTS=ON >/dev/null
  cmake --build build/win64 -j "$jobs"
  bash scripts/wine-ctest.sh build/win64 || status=1

  step "Windows i686 build, tests under 32-bit Wine"
  cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release -DKALMO_TESTS=ON >/dev/null
  cmake --build build/win32 -j "$jobs"
  bash scripts/wine-ctest.sh build/win32 || status=1
else
  echo "mingw-w64 or Wine (64 and 32 bit) missing: install them with scripts/install-deps.sh" >&2
  status=1
fi

step "sanitizers"
bash scripts/sanitize.sh || status=1

step "fuzzing (bounded runs)"
bash scripts/fuzz.sh "${FUZZ_SECONDS:-20}" || status=1

step "Windows program end to end under Wine"
bash scripts/wine-e2e.sh || status=1

if [ "$(id -u)" = 0 ] && command -v dpkg >/dev/null; then
  step "packages: install the Debian package and burn with it"
  bash scripts/package-test.sh || status=1
fi

if [ $status -eq 0 ]; then echo; echo "all test steps passed"; else echo; echo "some test steps FAILED"; fi
exit $status
