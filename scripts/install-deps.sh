#!/usr/bin/env bash
# Installs everything the build and the tests need, from Debian's packages. Safe to run again.
set -euo pipefail
packages=(
  cmake ninja-build g++ googletest libgtest-dev libgmock-dev            # native build and unit tests
  g++-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-win32                 # Windows cross build
  wine wine64 xvfb fonts-wqy-microhei xdotool imagemagick               # running and driving it under Wine
  clang-14 libfuzzer-14-dev libclang-rt-14-dev                          # fuzzing the DXF reader
  python3 python3-ezdxf python3-pytest python3-matplotlib               # independent checks of written DXF
  hyperfine time ca-certificates                                        # benchmarks
  openssl                                                               # the tools window test's local HTTPS site
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
