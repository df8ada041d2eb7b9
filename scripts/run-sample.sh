#!/usr/bin/env bash
# Builds the program (its target only, not the tests and the benchmark) and runs
# it on the bundled samples of Maunga Whau: the README's main command on the
# LiDAR GeoTIFF, the centre given in longitude and latitude, with its results in
# build/sample-lidar/; then the dialogue on the ESRI grid, with its root in
# build/sample-root and its results in build/sample-root/maunga-whau/.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release > /dev/null
# Only the program: the tests and the benchmark are not needed for the samples.
cmake --build build --target tephromat -j"$(nproc)" > /dev/null

rm -rf build/sample-lidar
./build/tephromat measure examples/maunga-whau-lidar/maungawhau_lidar_10m_nztm.tif \
  --base 117 --centre-lonlat 174.7642,-36.8772 --out build/sample-lidar
echo
echo "Results in build/sample-lidar:"
ls -l build/sample-lidar

# The same cone given by an outline drawn round it: the edifice is the
# polygon's cells, above a surface interpolated from its vertices.
rm -rf build/sample-outline
./build/tephromat measure examples/maunga-whau-lidar/maungawhau_lidar_10m_nztm.tif \
  --outline examples/maunga-whau-lidar/outline.geojson --centre-lonlat 174.7642,-36.8772 --out build/sample-outline
echo
echo "Results in build/sample-outline:"
ls -l build/sample-outline

root="$PWD/build/sample-root"
rm -rf "$root"
mkdir -p "$root/maunga-whau"
cp examples/maunga-whau/maunga_whau.asc "$root/maunga-whau/"
TEPHROMAT_ROOT="$root" ./build/tephromat < examples/maunga-whau/answers.txt
echo
echo
echo "Results in $root/maunga-whau:"
ls -l "$root/maunga-whau"
