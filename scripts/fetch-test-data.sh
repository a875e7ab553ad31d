#!/usr/bin/env bash
# Fetches the real DXF files the checks and benchmarks use, from Debian's packages, into a cache under
# build/ (never committed: they are GPL data). Prints the cache directory; safe to run again.
# Usage: scripts/fetch-test-data.sh [CACHE_DIR]     (default build/test-data)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cache=${1:-$root/build/test-data}
mkdir -p "$cache"
cd "$cache"
for pkg in librecad-data openscad-testing-data; do
  [ -f "$pkg.done" ] && continue
  if ! ls "$pkg"_*.deb >/dev/null 2>&1; then
    apt-get download "$pkg" >/dev/null 2>&1 || {
      # The package lists may be missing on a fresh machine.
      if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi
      $SUDO apt-get update -qq >/dev/null && apt-get download "$pkg" >/dev/null
    } || { echo "cannot download $pkg" >&2; exit 1; }
  fi
  rm -rf "$pkg"
  dpkg -x "$pkg"_*.deb "$pkg"
  touch "$pkg.done"
done
echo "$cache"
