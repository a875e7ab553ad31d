# Sourced by scripts that run Windows programs: a fresh Wine prefix with a CJK font linked, and a private
# X display. Sets WINEPREFIX, DISPLAY and friends, and ends Xvfb and the prefix's processes on exit.
# Usage: source scripts/wine-env.sh [prefix-dir]
plenvo_root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
export WINEPREFIX=${1:-${WINEPREFIX_DIR:-$(mktemp -d /tmp/plenvo-wine.XXXXXX)}}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" LANG=C.UTF-8 WINEARCH=win64
if [ -z "${PLENVO_DISPLAY_STARTED:-}" ]; then
  for n in $(seq 91 140); do
    [ -e /tmp/.X11-unix/X$n ] || [ -e /tmp/.X$n-lock ] && continue
    Xvfb :$n -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    plenvo_xvfb_pid=$!
    export DISPLAY=:$n PLENVO_DISPLAY_STARTED=1
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$n ] && break; sleep 0.1; done
    break
  done
fi
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  wineboot -i >/dev/null 2>&1 || true
  wineserver -w || true
  wine reg import "$(winepath -w "$plenvo_root/tests/e2e/wine-fonts.reg")" >/dev/null 2>&1 || true
fi
plenvo_wine_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  [ -n "${plenvo_xvfb_pid:-}" ] && kill "$plenvo_xvfb_pid" >/dev/null 2>&1 || true
}
trap plenvo_wine_cleanup EXIT
