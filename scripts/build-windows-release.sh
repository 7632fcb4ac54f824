#!/usr/bin/env bash
# The release program: the 32-bit Windows kalmo.exe, statically linked, so that it runs on a bare
# Windows with nothing but the system's own DLLs. Builds build/release-win32/kalmo.exe and checks
# its imports.
#   bash scripts/build-windows-release.sh        (JOBS=n for the build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
out=build/release-win32
cmake -S . -B "$out" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-i686.cmake -DCMAKE_BUILD_TYPE=Release \
  -DKALMO_TESTS=OFF >/dev/null
cmake --build "$out" -j "${JOBS:-$(nproc)}" --target kalmo
bash scripts/check-windows-imports.sh "$out/kalmo.exe"
case $(x86_64-w64-mingw32-objdump -f "$out/kalmo.exe") in
  *pei-i386*) ;;
  *) echo "$out/kalmo.exe is not a 32-bit program" >&2; exit 1 ;;
esac
# A console program: started from a window it gets a console of its own.
header=$(x86_64-w64-mingw32-objdump -p "$out/kalmo.exe")
if ! grep -q 'Subsystem.*(Windows CUI)' <<<"$header"; then
  echo "$out/kalmo.exe is not a console program" >&2
  exit 1
fi
echo "release program: $root/$out/kalmo.exe ($(stat -c %s "$out/kalmo.exe") bytes)"
