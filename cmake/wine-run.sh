#!/usr/bin/env bash
# Runs a Windows test program under 64-bit Wine. The prefix lives in the build folder that holds
# the program (KALMO_WINEPREFIX overrides it); the first run creates it under a lock, so parallel
# tests do not race on the creation.
set -euo pipefail
prog=$1; shift
build=${KALMO_WINE_BUILD:-$(cd "$(dirname "$prog")" && while [ ! -f CMakeCache.txt ] && [ "$PWD" != / ]; do cd ..; done; pwd)}
export WINEPREFIX=${KALMO_WINEPREFIX:-$build/wineprefix}
export WINEDEBUG=-all
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}
wine=${KALMO_WINE:-/usr/lib/wine/wine64}
(
  flock 9
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    mkdir -p "$WINEPREFIX"
    "$wine" wineboot -i >/dev/null 2>&1 || true
    /usr/lib/wine/wineserver -w || true
  fi
) 9>"$build/.wineprefix.lock"
exec "$wine" "$prog" "$@"
