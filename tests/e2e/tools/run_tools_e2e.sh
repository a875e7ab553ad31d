#!/usr/bin/env bash
# End-to-end test of the tools window under Wine, in a prefix of its own: the settings tab driven through the
# main window; then the remote tool list and the update notice against a local HTTPS site.
# The tools window is opened through the product's main window when Plenvo.exe is given, else through the
# stand-in host (which also runs the start-up update check with --update-check).
# Usage: run_tools_e2e.sh <tools_test_host.exe> <tools_driver.exe> <output-dir> [Plenvo.exe]
set -uo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../../.." && pwd)
host_exe=$1 driver_exe=$2 out=$3 main_exe=${4:-}
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
cp "$driver_exe" "$app/tools_driver.exe"
if [ -n "$main_exe" ] && [ -f "$main_exe" ]; then
  cp "$main_exe" "$app/Plenvo.exe"
  host_w=$(winepath -w "$app/Plenvo.exe")
else
  cp "$host_exe" "$app/tools_test_host.exe"
  host_w=$(winepath -w "$app/tools_test_host.exe")
fi
echo "the tools window is opened by $host_w"
out_w=$(winepath -w "$out")
driver() { timeout 180 wine "$app/tools_driver.exe" "$@" 2>>"$out/wine-stderr.log" | tr -d '\r' | tee -a "$out/driver.log"; return "${PIPESTATUS[0]}"; }

# The test's browser: the shell's "open" of http and https addresses runs the driver, which logs them.
driver_w=$(winepath -w "$app/tools_driver.exe")
for scheme in http https; do
  wine reg add "HKCR\\$scheme\\shell\\open\\command" /ve /d "\"$driver_w\" record \"%1\"" /f >/dev/null 2>&1
done
: >"$work/opened.log"
export PLENVO_URL_LOG
PLENVO_URL_LOG=$(winepath -w "$work/opened.log")
log_w=$PLENVO_URL_LOG

failed=0
run() {
  echo "=== $*" | tee -a "$out/driver.log"
  if driver "$@"; then echo "--- passed: $1"; else echo "--- FAILED: $1"; failed=1; fi
}

run settings "$host_w" "$out_w"
run options "$host_w"

# The maker's site, on this machine: a certificate for its host made now and trusted in the prefix, an
# HTTPS server with the remote text and pictures, and a proxy (the prefix's WinHTTP default proxy) that
# tunnels www.plenvo.example:443 to it.
site="$work/site"
mkdir -p "$site"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/key.pem" -out "$work/cert.pem" -days 2 \
  -subj "/CN=www.plenvo.example" -addext "subjectAltName=DNS:www.plenvo.example" >/dev/null 2>&1
openssl x509 -in "$work/cert.pem" -outform der -out "$work/cert.der"
convert -size 120x80 xc:red "$site/a.png"
convert -size 200x150 xc:blue "$site/b.jpg"
convert -size 64x48 xc:green "$site/c.gif"
convert -size 32x24 xc:yellow "BMP3:$site/d.bmp"
python3 "$here/remote_site.py" "$site" "$work/cert.pem" "$work/key.pem" "$work/ports" 2>"$out/site.log" &
site_pid=$!
for _ in $(seq 100); do [ -s "$work/ports" ] && break; sleep 0.1; done
read -r https_port proxy_port <"$work/ports"
site_w=$(winepath -w "$site")
echo "site on 127.0.0.1:$https_port, proxy on 127.0.0.1:$proxy_port"
driver trust "$(winepath -w "$work/cert.der")" || { echo "trusting the certificate failed"; failed=1; }
driver proxy "127.0.0.1:$proxy_port" || { echo "setting the proxy failed"; failed=1; }


run remote "$host_w" "$site_w" "$log_w" "$out_w"
run update "$host_w" "$site_w" "$log_w" "v3.4#www.plenvo.example/download#@A#https://a#https://a.png" notice \
  "https://www.plenvo.example/download"
run update "$host_w" "$site_w" "$log_w" "v3.3#www.plenvo.example/download#@A#https://a#https://a.png" none
run update "$host_w" "$site_w" "$log_w" "v3.3 #page#" notice "https://page"

run limit "$host_w" "$site_w"
run stall "$host_w" "$site_w"

# A site whose certificate is not trusted counts as no site: validation stays on.
mkdir -p "$work/other"
openssl req -x509 -newkey rsa:2048 -nodes -keyout "$work/other/key.pem" -out "$work/other/cert.pem" -days 2 \
  -subj "/CN=www.plenvo.example" -addext "subjectAltName=DNS:www.plenvo.example" >/dev/null 2>&1
cp "$site/cad.txt" "$work/other/cad.txt"
python3 "$here/remote_site.py" "$work/other" "$work/other/cert.pem" "$work/other/key.pem" "$work/other/ports" \
  2>"$out/untrusted-site.log" &
other_pid=$!
for _ in $(seq 100); do [ -s "$work/other/ports" ] && break; sleep 0.1; done
read -r _ other_proxy <"$work/other/ports"
driver proxy "127.0.0.1:$other_proxy" >/dev/null
run offline "$host_w"
kill "$other_pid" 2>/dev/null
driver proxy "127.0.0.1:$proxy_port" >/dev/null

# No site: the proxy is gone.
kill "$site_pid" 2>/dev/null; wait "$site_pid" 2>/dev/null; site_pid=
run offline "$host_w"
run update "$host_w" - "$log_w" - none
cp "$work/opened.log" "$out/opened.log"

# Last, as it changes the prefix: the system at 144 DPI (150 %), where the windows are scaled.
wine reg add "HKCU\\Control Panel\\Desktop" /v LogPixels /t REG_DWORD /d 144 /f >/dev/null 2>&1
wine reg add "HKLM\\System\\CurrentControlSet\\Hardware Profiles\\Current\\Software\\Fonts" /v LogPixels \
  /t REG_DWORD /d 144 /f >/dev/null 2>&1
run dpi "$host_w" 144 "$out_w"

for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] && convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
exit $failed
