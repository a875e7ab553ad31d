#!/usr/bin/env bash
# Runs every test: installs what is missing, builds both flavours, runs the native unit tests under
# AddressSanitizer + UBSan, the Windows build's tests under Wine, the DXF checks and a bounded fuzz run.
# Usage: scripts/test.sh            (from anywhere; builds into build/)
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh || { echo "installing dependencies failed"; exit 1; }
jobs=$(nproc)
passed=0; failed=0; status=0

# Adds the counts of one ctest run (its "N% tests passed, F tests failed out of T" line) to the totals.
count() {
  local line; line=$(grep -E "tests passed, [0-9]+ tests? failed out of [0-9]+" "$1" | tail -n 1)
  if [ -n "$line" ]; then
    local f t; f=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    t=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + t - f)); failed=$((failed + f))
  fi
}
stage() { echo; echo "=== $*"; }

stage "native build (AddressSanitizer + UndefinedBehaviorSanitizer)"
cmake -S . -B build/native-asan -G Ninja -DCMAKE_BUILD_TYPE=Debug -DPLENVO_SANITIZE=ON >/dev/null &&
  cmake --build build/native-asan -j"$jobs" || { echo "native build failed"; exit 1; }
stage "native tests"
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir build/native-asan --output-on-failure -j"$jobs" 2>&1 | tee build/native-tests.log
[ "${PIPESTATUS[0]}" = 0 ] || status=1
count build/native-tests.log

stage "native release build (command-line tool, benchmarks, DXF checks)"
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null &&
  cmake --build build/native -j"$jobs" || { echo "native release build failed"; exit 1; }

stage "Windows build (MinGW-w64)"
cmake -S . -B build/windows -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" >/dev/null &&
  cmake --build build/windows -j"$jobs" || { echo "Windows build failed"; exit 1; }
stage "Windows tests under Wine"
(
  source scripts/wine-env.sh
  ctest --test-dir build/windows --output-on-failure 2>&1 | tee build/windows-tests.log
  exit "${PIPESTATUS[0]}"
) || status=1
count build/windows-tests.log

# The labels sit in the CTestTestfile.cmake of each test directory, not in the top-level one.
if grep -rqs --include=CTestTestfile.cmake "dxfcheck" build/native; then
  stage "DXF checks with ezdxf"
  ctest --test-dir build/native -L dxfcheck --output-on-failure 2>&1 | tee build/dxf-checks.log
  [ "${PIPESTATUS[0]}" = 0 ] || status=1
  count build/dxf-checks.log
fi

if [ -x fuzz/run.sh ]; then
  stage "fuzzing the DXF reader (bounded)"
  if bash fuzz/run.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); status=1; fi
fi

stage "summary"
echo "all stages: $passed passed, $failed failed"
exit $status
