#!/usr/bin/env bash
# End-to-end test of the tools window under Wine, in a prefix of its own: the settings tab driven through a
# stand-in main window; then the remote tool list and the update notice against a local HTTPS site.
# Usage: run_tools_e2e.sh <tools_test_host.exe> <tools_driver.exe> <output-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
host_exe=$1 driver_exe=$2 out=$3
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.bmp "$out"/*.log
work=$(mktemp -d /tmp/plenvo-tools-e2e.XXXXXX)
site_pid=

# shellcheck source=/dev/null
source "$root/scripts/wine-env.sh" "$work/prefix"
finish() {
  [ -n "$site_pid" ] && kill "$site_pid" 2>/dev/null
  plenvo_wine_cleanup
  rm -rf "$work"
}
trap finish EXIT

app="$work/app"
mkdir -p "$app"
cp "$host_exe" "$app/tools_test_host.exe"
cp "$driver_exe" "$app/tools_driver.exe"
host_w=$(winepath -w "$app/tools_test_host.exe")
out_w=$(winepath -w "$out")
driver() { wine "$app/tools_driver.exe" "$@" 2>/dev/null | tr -d '\r' | tee -a "$out/driver.log"; return "${PIPESTATUS[0]}"; }

failed=0
run() {
  echo "=== $*" | tee -a "$out/driver.log"
  if driver "$@"; then echo "--- passed: $1"; else echo "--- FAILED: $1"; failed=1; fi
}

run settings "$host_w" "$out_w"
run options "$host_w"

for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $failed
