#!/usr/bin/env bash
# Installs, from Debian packages, what building and testing TEPHROMAT needs,
# when it is missing.  Safe to run again.
set -euo pipefail

packages=(g++ cmake make libgtest-dev libgmock-dev libpng-dev libgdal-dev gdal-bin libcli11-dev libcairo2-dev pkg-config parallel python3 clang-14 libclang-rt-14-dev
  python3-dev pybind11-dev python3-numpy python3-pandas python3-matplotlib python3-pytest python3-gdal
  python3-rasterio python3-nbclient python3-ipykernel)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
