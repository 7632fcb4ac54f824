#!/usr/bin/env bash
# Installs what the builds and tests need on a fresh Debian machine (run as root).
set -euo pipefail
export DEBIAN_FRONTEND=noninteractive
# 32-bit Wine, for the 32-bit release program and its tests, comes from the i386 architecture.
dpkg --add-architecture i386
apt-get update -qq
apt-get install -y -qq \
  g++ cmake make googletest libbenchmark-dev \
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 binutils-mingw-w64 wine64 wine32:i386 \
  socat avrdude srecord clang-14 libclang-rt-14-dev python3 file procps util-linux dpkg-dev >/dev/null
