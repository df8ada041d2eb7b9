#!/usr/bin/env python3
"""Times `tephromat measure` on the two shapes that are hard on the slice analysis.

- strip: 3 lines x 65535 columns, a ridge falling 0.03 m a cell on both sides
  of its middle column from 1000 m (about 980 slices, each one long thin
  rectangle);
- tall: 1024 x 1024 cells of 10 m, a cone falling 16.77 m a cell from 8400 m
  to a plain at 10 m (about 8350 slices).

Each DEM is made with numpy, written as a GeoTIFF by gdal_translate, and
timed with gdaldem slope + hillshade in the same run.  Usage:
    python3 bench/shapes.py TEPHROMAT [--keep]
"""

import os
import subprocess
import sys
import tempfile

import numpy as np

TARGET_S = 2.0


def strip():
    j = np.arange(65535, dtype=np.float64)
    z = 1000.0 - np.abs(j - 32767.0) * 0.03
    return np.tile(z, (3, 1)), ["--base", "20", "--centre", "1,32767"]


def tall():
    i, j = np.mgrid[0:1024, 0:1024].astype(np.float64)
    r = np.sqrt((i - 512.0) ** 2 + (j - 512.0) ** 2)
    return np.maximum(10.0, 8400.0 - 16.77 * r), ["--base", "50", "--centre", "512,512"]


def write_geotiff(z, path, work):
    asc = os.path.join(work, "shape.asc")
    with open(asc, "w") as f:
        f.write(f"ncols {z.shape[1]}\nnrows {z.shape[0]}\nxllcorner 500000\nyllcorner 5000000\n"
                "cellsize 10\nNODATA_value -9999\n")
        np.savetxt(f, z, fmt="%.2f")
    subprocess.run(["gdal_translate", "-q", "-ot", "Float32", "-a_srs", "EPSG:32633", asc, path], check=True)
    os.remove(asc)


def timed(command):
    """Wall seconds and peak resident MiB of a command, from /usr/bin/time."""
    out = subprocess.run(["/usr/bin/time", "-f", "%e %M"] + command, stdout=subprocess.DEVNULL,
                         stderr=subprocess.PIPE, text=True, check=True)
    seconds, kib = out.stderr.strip().splitlines()[-1].split()
    return float(seconds), float(kib) / 1024


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    tephromat, keep = sys.argv[1], "--keep" in sys.argv[2:]
    work = tempfile.mkdtemp(prefix="tephromat-shapes-")
    print(f"{'shape':6} {'lines':>6} {'columns':>8} {'gdaldem s':>10} {'measure s':>10} {'peak MiB':>9}  target")
    for name, make in (("strip", strip), ("tall", tall)):
        z, answers = make()
        dem = os.path.join(work, name + ".tif")
        write_geotiff(z, dem, work)
        gdal = sum(timed(["gdaldem", kind, "-q", dem, os.path.join(work, name + "_" + kind + ".tif")])[0]
                   for kind in ("slope", "hillshade"))
        out = os.path.join(work, name)
        os.makedirs(out)
        seconds, mib = timed([tephromat, "measure", dem] + answers + ["--out", out, "--quiet"])
        verdict = "met" if seconds <= TARGET_S else "missed"
        print(f"{name:6} {z.shape[0]:6} {z.shape[1]:8} {gdal:10.2f} {seconds:10.2f} {mib:9.1f}  "
              f"{TARGET_S:.0f} s, {verdict}")
    if keep:
        print("kept", work)
    else:
        subprocess.run(["rm", "-rf", work], check=True)


if __name__ == "__main__":
    main()
