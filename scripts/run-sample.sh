#!/usr/bin/env bash
# Builds the program (its target only, not the tests and the benchmark) and runs
# it on the bundled Maunga Whau DEM.  The run's root is build/sample-root; its
# results land in build/sample-root/maunga-whau/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
# Only the program: the tests and the benchmark are not needed for the sample.
cmake --build build --target tephromat -j"$(nproc)" > /dev/null

root="$PWD/build/sample-root"
rm -rf "$root"
mkdir -p "$root/maunga-whau"
cp examples/maunga-whau/maunga_whau.asc "$root/maunga-whau/"
TEPHROMAT_ROOT="$root" ./build/tephromat < examples/maunga-whau/answers.txt
echo
echo
echo "Results in $root/maunga-whau:"
ls -l "$root/maunga-whau"
