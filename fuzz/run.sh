#!/usr/bin/env bash
# Fuzzes the DXF engine's reading side with libFuzzer under AddressSanitizer + UBSan, for a bounded time.
# Builds with clang++-14 straight from the engine's and the core's sources (the CMake build uses g++), seeds
# from the samples, the part frame, a few real files when scripts/fetch-test-data.sh has fetched them, and
# hand-made broken files. Exits non-zero when the fuzzer finds a crash; the input is kept in build/fuzz/.
# Usage: fuzz/run.sh [SECONDS]     (default 60, shortened so that building and fuzzing stay within 150 s;
#                                  FUZZ_SECONDS works too)
set -euo pipefail
started=$(date +%s)
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-${FUZZ_SECONDS:-60}}
work=$root/build/fuzz
mkdir -p "$work/obj" "$work/corpus" "$work/artifacts"
cd "$root"

# The sources the target needs: the engine and the portable core it links.
sources=(fuzz/dxf_fuzzer.cpp src/cad/dxf/*.cpp)
for f in src/core/*.cpp; do
  case "$f" in *_win.cpp) ;; *) sources+=("$f") ;; esac
done
flags=(-std=c++20 -O1 -g -fno-omit-frame-pointer -fsanitize=fuzzer-no-link,address,undefined
       -fno-sanitize-recover=undefined -Isrc -w)

# Compile what changed (object per source, keyed by the source's content and the flags), two at a time.
build_one() {
  local src=$1 work=$2; shift 2
  local key; key=$( (cat "$src"; echo "$*"; cat src/cad/dxf/*.h src/core/*.h src/cad/*.h) | sha1sum | cut -c1-16)
  local obj="$work/obj/$(echo "$src" | tr '/' '_').$key.o"
  if [ ! -f "$obj" ]; then
    clang++-14 "$@" -c "$src" -o "$obj.tmp" >&2 || return 1
    mv -f "$obj.tmp" "$obj"
  fi
  echo "$obj"
}
export -f build_one
objects=$(printf '%s\n' "${sources[@]}" | xargs -P2 -I{} bash -c 'build_one "$@"' _ {} "$work" "${flags[@]}")
clang++-14 -fsanitize=fuzzer,address,undefined $objects -o "$work/dxf_fuzzer"

# Seeds, refreshed every run; the corpus the fuzzer grew in earlier runs stays.
seeds=$work/seeds
rm -rf "$seeds"; mkdir -p "$seeds"
cp samples/*.dxf resources/part_frame.dxf "$seeds/"
if [ -d build/test-data/openscad-testing-data ]; then
  find build/test-data/openscad-testing-data -name '*.dxf' -size -20k | head -n 20 |
    while read -r f; do cp "$f" "$seeds/openscad_$(basename "$f")"; done
fi
if [ -d build/test-data/librecad-data ]; then
  find build/test-data/librecad-data -name '*.dxf' -size -8k | sort | head -n 20 |
    while read -r f; do cp "$f" "$seeds/librecad_$(basename "$f")"; done
fi
printf '' >"$seeds/empty.dxf"
head -c 3000 samples/bracket.dxf >"$seeds/truncated.dxf"
printf '  0\nSECTION\n  2\nENTITIES\n  0\nLINE\n 10\n1e308\n 20\n-1e308\n 11\nnan\n 21\n1,5\n  0\nENDSEC\n  0\nEOF\n' \
  >"$seeds/odd_numbers.dxf"
printf '  0\nSECTION\n  2\nBLOCKS\n  0\nBLOCK\n  2\nA\n  0\nINSERT\n  2\nA\n  0\nENDBLK\n  0\nENDSEC\n  0\nSECTION\n  2\nENTITIES\n  0\nINSERT\n  2\nA\n  0\nENDSEC\n  0\nEOF\n' \
  >"$seeds/self_insert.dxf"

# A slow build on a busy machine shortens the run (to no less than 20 s) rather than the bound.
if [ -z "${1:-}${FUZZ_SECONDS:-}" ]; then
  left=$((150 - ($(date +%s) - started)))
  [ "$left" -lt "$seconds" ] && seconds=$left
  [ "$seconds" -lt 20 ] && seconds=20
fi
echo "fuzzing the DXF engine for ${seconds}s ($(ls "$seeds" | wc -l) seeds, corpus $work/corpus)"
ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 UBSAN_OPTIONS=print_stacktrace=1 \
  "$work/dxf_fuzzer" "$work/corpus" "$seeds" -max_total_time="$seconds" -timeout=20 -rss_limit_mb=2048 \
  -max_len=65536 -dict=fuzz/dxf.dict -artifact_prefix="$work/artifacts/" -print_final_stats=1 \
  >"$work/fuzz.log" 2>&1 && status=0 || status=$?
tail -n 25 "$work/fuzz.log"
if [ "$status" != 0 ]; then
  echo "the fuzzer found a problem (exit $status); input kept in $work/artifacts/, log in $work/fuzz.log"
fi
exit "$status"
