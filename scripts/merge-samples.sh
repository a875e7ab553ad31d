#!/usr/bin/env bash
# The main job on a fresh Debian 12 clone: installs what is missing, builds the release command-line tool
# (build/native) and merges the bundled sample drawings (samples/*.dxf) into out/samples-merged.dxf, in a
# grid of four per row, each framed on the layer "打印图框".
# Usage: bash scripts/merge-samples.sh
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
bash scripts/install-deps.sh
cmake -S . -B build/native -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build/native -j"$(nproc)" --target plenvo-merge
mkdir -p out
build/native/src/cli/plenvo-merge --mode grid --per-row 4 --frames samples -o out/samples-merged.dxf
echo "The merged drawing is $root/out/samples-merged.dxf"
echo "(open it in any CAD program, or: MPLBACKEND=Agg /usr/bin/python3 -m ezdxf draw -o out/samples-merged.png out/samples-merged.dxf)"
