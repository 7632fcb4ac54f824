#!/usr/bin/env bash
# Builds the Debian package and the Windows zip, installs the package on this machine, and runs
# the installed kalmo against the installed simulator. Needs root for dpkg.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
jobs=${JOBS:-$(nproc)}

# The same build folders as the test command, so nothing is compiled twice.
native=${KALMO_PACKAGE_BUILD:-build/native}
cmake -S . -B "$native" >/dev/null
cmake --build "$native" -j "$jobs"
(cd "$native" && rm -f kalmo_*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$native"/kalmo_*.deb)
echo "package: $deb"
dpkg-deb -I "$deb" | grep -E 'Package|Version|Depends'

dpkg -i "$deb" >/dev/null
trap 'dpkg -r kalmo >/dev/null 2>&1 || true' EXIT
test -f /usr/share/man/man1/kalmo.1
test -f /usr/lib/udev/rules.d/60-kalmo-cp210x.rules

out=$(KALMO_PORT= /usr/bin/kalmo -mp </dev/null || true)
case "$out" in "Tellu Kalmo - Version 1.2"*) ;; *) echo "installed kalmo printed: $out" >&2; exit 1 ;; esac

sim_out=$(mktemp)
/usr/bin/kalmo-sim >"$sim_out" &
sim=$!
for _ in $(seq 50); do [ -s "$sim_out" ] && break; sleep 0.1; done
port=$(head -n1 "$sim_out")
status=0
KALMO_PORT=$port /usr/bin/kalmo -pon -mp -b "$root/samples/sample.hex" </dev/null || status=$?
kill $sim; wait $sim || true
rm -f "$sim_out"
[ $status -eq 0 ] || { echo "installed kalmo failed against the simulator ($status)" >&2; exit 1; }
echo "installed package: burn against the simulator passed"

if command -v i686-w64-mingw32-g++-posix >/dev/null; then
  # The zip holds the release program.
  JOBS=$jobs bash scripts/build-windows-release.sh >/dev/null
  (cd build/release-win32 && rm -f kalmo-*.zip && cpack -G ZIP >/dev/null)
  zip=$(ls build/release-win32/kalmo-*.zip)
  python3 - "$zip" <<'PY'
import sys, zipfile
names = set(zipfile.ZipFile(sys.argv[1]).namelist())
missing = {"bin/kalmo.exe", "README.md", "LICENSE"} - names
if missing:
    sys.exit("zip lacks %s (has %s)" % (sorted(missing), sorted(names)))
print("zip:", sys.argv[1], sorted(names))
PY
fi
