#include "tests/support/FakeSystemctl.h"

#include <filesystem>
#include <fstream>

#include "ZEL_OS/OsFileSystem.h"

namespace {

const char script[] = R"SH(#!/bin/sh
d="$(dirname "$0")"
while [ $# -gt 0 ]; do case "$1" in --*) shift;; *) break;; esac; done
verb=$1; shift
echo "$verb $*" >> "$d/calls"
[ -f "$d/fail-$verb" ] && exit 1
last=""; for a; do last=$a; done
state() {
  if [ -f "$d/units/$1" ]; then cat "$d/units/$1"; return 0; fi
  if [ -f "$d/system/$1" ]; then printf 'LoadState=loaded\nActiveState=inactive\nSubState=dead\n'; return 0; fi
  return 1
}
case "$verb" in
  show) state "$last" || printf 'LoadState=not-found\nActiveState=inactive\nSubState=dead\n' ;;
  daemon-reload) ;;
  start|stop|reload|enable|kill) state "$last" >/dev/null || exit 5 ;;
  list-units) cat "$d"/lines/* 2>/dev/null ;;
  list-unit-files)
    for f in "$d"/system/*.service; do
      [ -f "$f" ] && echo "$(basename "$f") disabled enabled"
    done ;;
  *) exit 1 ;;
esac
exit 0
)SH";

}  // namespace

FakeSystemctl::FakeSystemctl() {
  std::filesystem::create_directories(dir.path() / "units");
  std::filesystem::create_directories(dir.path() / "system");
  std::filesystem::create_directories(dir.path() / "lines");
  std::string program = dir.write("systemctl", script);
  std::filesystem::permissions(program, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add);
  zos::setEnvironmentVariable("KALMO_SYSTEMCTL", program.c_str());
  zos::setEnvironmentVariable("KALMO_SYSTEMD_UNIT_DIR", unitDirectory().c_str());
}

FakeSystemctl::~FakeSystemctl() {
  zos::setEnvironmentVariable("KALMO_SYSTEMCTL", nullptr);
  zos::setEnvironmentVariable("KALMO_SYSTEMD_UNIT_DIR", nullptr);
}

void FakeSystemctl::addUnit(const std::string& name, const std::string& activeState,
                            const std::string& subState) {
  std::string unit = name.find('.') == std::string::npos ? name + ".service" : name;
  dir.write("units/" + unit,
            "LoadState=loaded\nActiveState=" + activeState + "\nSubState=" + subState + "\n");
  // Its line of the unit list, marked as a failed unit is.
  dir.write("lines/" + unit, std::string(activeState == "failed" ? "* " : "") + unit + " loaded " +
                                 activeState + " " + subState + " A unit\n");
}

void FakeSystemctl::failVerb(const std::string& verb) { dir.write("fail-" + verb, ""); }

std::string FakeSystemctl::calls() const { return ScratchDirectory::read(dir / "calls"); }

std::string FakeSystemctl::unitDirectory() const { return dir / "system"; }
