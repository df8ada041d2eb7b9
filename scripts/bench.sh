#!/usr/bin/env bash
# Builds TEPHROMAT in Release (build-bench/) and runs the benchmark.  Arguments
# go to tephromat_bench: sizes (default 512 1024 2048 4096) and options
# (--no-reference, --limit S, --esri, --keep; --help lists them).
# `bash scripts/bench.sh --shapes` times `tephromat measure` instead on the
# two shapes hardest on the slices (a 3 x 65535 strip, an 8350-slice cone).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTEPHROMAT_BENCH=ON -DTEPHROMAT_TESTS=OFF > /dev/null
if [[ "${1:-}" == "--shapes" ]]; then
  shift
  cmake --build build-bench -j"$(nproc)" --target tephromat > /dev/null
  exec /usr/bin/python3 bench/shapes.py ./build-bench/tephromat "$@"
fi
cmake --build build-bench -j"$(nproc)" --target tephromat_bench > /dev/null
exec ./build-bench/tephromat_bench "$@"
