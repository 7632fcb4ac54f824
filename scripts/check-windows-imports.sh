#!/usr/bin/env bash
# Checks that Windows programs need nothing on a bare Windows beyond the system's own DLLs: every
# DLL they import must be one of the list below (compared without case). Prints each program's
# architecture and imports; fails when one imports anything else or cannot be read.
#   bash scripts/check-windows-imports.sh build/release-win32/kalmo.exe [more.exe ...]
set -euo pipefail
allowed="KERNEL32.dll USER32.dll GDI32.dll ADVAPI32.dll WS2_32.dll WINMM.dll OLEAUT32.dll OLE32.dll
SHELL32.dll SHLWAPI.dll VERSION.dll msvcrt.dll"

if [ $# -eq 0 ]; then
  echo "usage: $0 program.exe ..." >&2
  exit 2
fi

status=0
for program in "$@"; do
  if ! header=$(x86_64-w64-mingw32-objdump -p "$program" 2>&1); then
    echo "$program: not a Windows program: $header" >&2
    status=1
    continue
  fi
  format=$(printf '%s\n' "$header" | sed -n 's/.*file format \(.*\)$/\1/p' | head -n1)
  dlls=$(printf '%s\n' "$header" | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -fu)
  echo "$program ($format): ${dlls//$'\n'/ }"
  if [ -z "$dlls" ]; then
    echo "$program: no imports found" >&2
    status=1
  fi
  for dll in $dlls; do
    if ! grep -qixF "$dll" <<<"${allowed// /$'\n'}"; then
      echo "$program: imports $dll, which a bare Windows does not have" >&2
      status=1
    fi
  done
done
exit $status
