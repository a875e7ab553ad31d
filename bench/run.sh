#!/usr/bin/env bash
# Benchmark of plenvo-merge against the same merge done with ezdxf (bench/ezdxf_merge.py) and against cat,
# on two sets of 200 real drawings: small files (50 LibreCAD files of 10-20 kB, each copied 4 times) and
# large files (the 50 largest LibreCAD files, each copied 4 times). Prints the times and the ratios:
# ezdxf / ours (target >= 50), ours / cat (target <= 10), our peak memory / output size (target <= 3).
# Prints, does not assert. Usage: bench/run.sh   (PLENVO_MERGE=path/to/plenvo-merge to skip the build)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
work=$root/build/bench
mkdir -p "$work"

# PLENVO_MERGE=path measures an already built tool instead.
tool=${PLENVO_MERGE:-}
if [ -z "$tool" ]; then
  cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build build/native -j"$(nproc)" --target plenvo-merge >/dev/null
  tool=$root/build/native/src/cli/plenvo-merge
fi
data=$(bash scripts/fetch-test-data.sh)
lib=$data/librecad-data/usr/share/librecad

# Two sets of 200 files; copies get distinct names so that every one is its own drawing.
make_set() {  # name, then the list of source files on stdin
  local dir=$work/$1 k=0
  rm -rf "$dir"; mkdir -p "$dir"
  mapfile -t files
  for copy in 1 2 3 4; do
    for f in "${files[@]}"; do
      k=$((k + 1))
      cp "$f" "$dir/$(printf '%03d' "$k")_$(basename "$f")"
    done
  done
}
find "$lib" -name '*.dxf' -size +10k -size -20k | sort | awk 'NR <= 50' | make_set small
find "$lib" -name '*.dxf' -printf '%s %p\n' | sort -rn | awk 'NR <= 50' | cut -d' ' -f2- | make_set large

args=(--mode grid --per-row 10 --spacing 50 --sheet 2000x2000 --frames)
seconds() { # command... : wall time of the best of 5 runs, in seconds (the machine is shared: noise is one-sided)
  local best=
  for _ in 1 2 3 4 5; do
    local t0 t1; t0=$(date +%s.%N); "$@" >/dev/null 2>&1 || true; t1=$(date +%s.%N)
    best=$(awk -v a="$t0" -v b="$t1" -v c="$best" 'BEGIN { d = b - a; if (c == "" || d < c) c = d; printf "%.4f", c }')
  done
  echo "$best"
}
peak_kb() { /usr/bin/time -f '%M' "$@" 2>&1 >/dev/null | tail -n 1; }

printf '\n%-6s %9s %8s %9s %9s %10s %9s %8s %8s %12s\n' set input_MB cat_s ours_s ezdxf_s ezdxf/ours ours/cat peak_MB out_MB peak/output
for set in small large; do
  dir=$work/$set
  input_mb=$(du -sb "$dir" | awk '{ printf "%.1f", $1 / 1e6 }')
  cat_s=$(seconds sh -c "cat '$dir'/*.dxf > /dev/null")
  ours_s=$(seconds "$tool" "${args[@]}" -q "$dir" -o "$work/$set-ours.dxf")
  "$tool" "${args[@]}" "$dir" -o "$work/$set-ours.dxf" >"$work/$set-ours.log" 2>&1 || true
  peak=$(peak_kb "$tool" "${args[@]}" -q "$dir" -o "$work/$set-ours.dxf")
  out_bytes=$(stat -c %s "$work/$set-ours.dxf" 2>/dev/null || echo 0)
  # ezdxf is slow: one run.
  t0=$(date +%s.%N)
  /usr/bin/python3 bench/ezdxf_merge.py --per-row 10 --spacing 50 --sheet 2000x2000 "$work/$set-ezdxf.dxf" "$dir"/*.dxf \
    >"$work/$set-ezdxf.log" 2>&1 || true
  t1=$(date +%s.%N)
  ezdxf_s=$(awk -v a="$t0" -v b="$t1" 'BEGIN { printf "%.2f", b - a }')
  awk -v set="$set" -v in_mb="$input_mb" -v c="$cat_s" -v o="$ours_s" -v e="$ezdxf_s" -v p="$peak" -v ob="$out_bytes" 'BEGIN {
    printf "%-6s %9s %8.3f %9.3f %9.2f %9.1fx %8.1fx %8.1f %8.1f %11.2fx\n", set, in_mb, c, o, e,
      (o > 0 ? e / o : 0), (c > 0 ? o / c : 0), p * 1024 / 1e6, ob / 1e6, (ob > 0 ? p * 1024 / ob : 0) }'
  echo "       ours: $(tail -n 1 "$work/$set-ours.log")"
  echo "       ezdxf: $(tail -n 1 "$work/$set-ezdxf.log")"
done
echo
echo "targets: ezdxf/ours >= 50x, ours/cat <= 10x, peak memory/output <= 3x (files in $work)"
