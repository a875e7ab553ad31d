#!/usr/bin/env bash
# End-to-end test of the main window under Wine, in a prefix of its own: the first start, the title-bar
# close, then a session against the CAD stand-in (adding drawings, the list commands, a full merge, the
# closing question), and the merged drawing read back with ezdxf. Keeps a screenshot of the main window.
# Usage: run_main_e2e.sh <Plenvo.exe> <main_driver.exe> <plenvo-cad-server.exe> <output-dir>
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
plenvo_exe=$1 driver_exe=$2 server_exe=$3 out=$4
mkdir -p "$out"
rm -f "$out"/*.png "$out"/*.bmp "$out"/*.log
work=$(mktemp -d /tmp/plenvo-main-e2e.XXXXXX)

# shellcheck source=/dev/null
source "$root/scripts/wine-env.sh" "$work/prefix"
finish() {
  plenvo_wine_cleanup
  rm -rf "$work"
}
trap finish EXIT

mkdir -p "$work/bin"
cp "$plenvo_exe" "$work/bin/Plenvo.exe"
cp "$driver_exe" "$work/bin/main_driver.exe"
cp "$server_exe" "$work/bin/plenvo-cad-server.exe"
# The driver's output goes through a file, not a pipe: the program it starts inherits the output and may
# outlive it (the "first" step leaves it running).
driver() {
  wine "$work/bin/main_driver.exe" "$@" >"$work/step.log" 2>/dev/null
  local rc=$?
  tr -d '\r' <"$work/step.log" | tee -a "$out/driver.log"
  return $rc
}
failed=0
run() {
  echo "=== $*" | tee -a "$out/driver.log"
  if driver "$@"; then echo "--- passed: $1"; else echo "--- FAILED: $1"; failed=1; fi
}
# Windows form of a path. winepath goes through start.exe, which now and then fails to start it while
# other programs of the prefix come and go: retried.
w() {
  local out
  for _ in 1 2 3 4 5; do
    out=$(winepath -w "$1" 2>/dev/null)
    [[ $out =~ ^[A-Za-z]:\\ ]] && { printf '%s\n' "$out"; return 0; }
    sleep 0.5
  done
  echo "winepath failed for $1" >&2
  printf '%s\n' "$out"
}

# The test's browser: the shell's "open" of http and https addresses runs the driver, which logs them.
: >"$work/opened.log"
export PLENVO_URL_LOG
PLENVO_URL_LOG=$(w "$work/opened.log")
for scheme in http https; do
  wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve /d "\"$(w "$work/bin/main_driver.exe")\" record \"%1\"" \
    /f >/dev/null 2>&1
done

run first "$(w "$work/bin/Plenvo.exe")" "$(w "$work/first")" "$PLENVO_URL_LOG"
sleep 0.5
import -window root "$out/main-window.png" && echo "screenshot: $out/main-window.png"
run interact "$PLENVO_URL_LOG"
run titleclose "$(w "$work/first")"
if cmp -s "$work/first/零件图框.dwg" "$root/resources/part_frame.dwg"; then
  echo "ok: the part-frame drawing written at start is the one the program carries" | tee -a "$out/driver.log"
else
  echo "FAILED: the part-frame drawing differs from resources/part_frame.dwg" | tee -a "$out/driver.log"; failed=1
fi
cp "$work/opened.log" "$out/opened.log"

# A folder name with Chinese and a space: paths stay Unicode from the dialog to the CAD application.
drawings="$work/图纸 2024"
/usr/bin/python3 "$here/make_drawings.py" "$drawings" || failed=1
run session "$(w "$work/bin/Plenvo.exe")" "$(w "$work/bin/plenvo-cad-server.exe")" "$(w "$work/session")" \
  "$(w "$drawings")" "$(w "$out")"
if [ -f "$work/session/merged.dxf" ]; then
  cp "$work/session/merged.dxf" "$out/merged.dxf"
  echo "=== merged drawing" | tee -a "$out/driver.log"
  /usr/bin/python3 "$here/check_merged.py" "$work/session/merged.dxf" "$work/session/merge-order.txt" | tee -a "$out/driver.log"
  [ "${PIPESTATUS[0]}" = 0 ] || failed=1
else
  echo "FAILED: the stand-in left no drawing"; failed=1
fi
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $failed
