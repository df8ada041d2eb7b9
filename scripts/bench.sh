#!/usr/bin/env bash
# Builds TEPHROMAT in Release (build-bench/) and runs the benchmark.  Arguments
# go to tephromat_bench: sizes (default 512 1024 2048 4096) and options
# (--no-reference, --limit S, --esri, --keep; --help lists them).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DTEPHROMAT_BENCH=ON -DTEPHROMAT_TESTS=OFF > /dev/null
cmake --build build-bench -j"$(nproc)" --target tephromat_bench > /dev/null
exec ./build-bench/tephromat_bench "$@"
