#!/usr/bin/env bash
# Runs a Windows test program under Wine: wine-run.sh LOADER PROGRAM [ARGS...], the loader being
# /usr/lib/wine/wine64 for the 64-bit build and /usr/lib/wine/wine for the 32-bit one (the
# toolchain files name it). The prefix lives in the build folder that holds the program
# (KALMO_WINEPREFIX overrides it); the first run creates it under a lock, so parallel tests do not
# race on the creation.
set -euo pipefail
wine=$1; shift
prog=$1; shift
build=${KALMO_WINE_BUILD:-$(cd "$(dirname "$prog")" && while [ ! -f CMakeCache.txt ] && [ "$PWD" != / ]; do cd ..; done; pwd)}
export WINEPREFIX=${KALMO_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
  fi
) 9>"$build/.wineprefix.lock"
# Every start is noted when a log is named, so that scripts/wine-ctest.sh can tell which program
# needed a second run.
if [ -n "${KALMO_WINE_RUN_LOG:-}" ]; then echo "$(basename "$prog" .exe)" >>"$KALMO_WINE_RUN_LOG"; fi
exec "$wine" "$prog" "$@"
