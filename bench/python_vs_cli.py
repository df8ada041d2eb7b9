"""The Python call against the command-line run on the same grid.

    PYTHONPATH=build-bench/python /usr/bin/python3 bench/python_vs_cli.py [SIZE] [--exe build-bench/tephromat]

Makes a synthetic cone of SIZE x SIZE cells (default 4096) as a GeoTIFF, then
times, best of three each: `tephromat measure` writing its results; the same
call in Python with out= (the same files); tephromat.measure with the results
in memory; and tephromat.measure on the numpy array itself (no file read).
"""
import argparse
import os
import shutil
import subprocess
import tempfile
import time

import numpy as np
from osgeo import gdal, osr

import tephromat

parser = argparse.ArgumentParser()
parser.add_argument("size", nargs="?", type=int, default=4096)
parser.add_argument("--exe", default=os.path.join(os.path.dirname(__file__), "..", "build-bench", "tephromat"))
parser.add_argument("--repeat", type=int, default=3)
a = parser.parse_args()

n = a.size
rng = np.random.default_rng(1)
y, x = np.mgrid[0:n, 0:n].astype(np.float32) - (n - 1) / 2
r = np.hypot(x, y) / (n / 2)
z = (100 + 150 * np.clip(1 - r, 0, None) ** 1.5 - 40 * np.exp(-((r / 0.08) ** 2))).astype(np.float32)
z += rng.uniform(0, 0.9, z.shape).astype(np.float32)
del x, y, r

work = tempfile.mkdtemp(prefix="tephromat-bench-")
tif = os.path.join(work, "cone.tif")
ds = gdal.GetDriverByName("GTiff").Create(tif, n, n, 1, gdal.GDT_Float32, ["TILED=YES", "COMPRESS=DEFLATE"])
ds.SetGeoTransform((1750000, 10, 0, 5920000, 0, -10))
srs = osr.SpatialReference()
srs.ImportFromEPSG(2193)
ds.SetProjection(srs.ExportToWkt())
ds.GetRasterBand(1).WriteArray(z)
ds = None
centre = f"{n // 2},{n // 2}"
args = ["--base", "101", "--centre", centre]


def best(f):
    times = []
    for _ in range(a.repeat):
        t = time.perf_counter()
        f()
        times.append(time.perf_counter() - t)
    return min(times)


def cli():
    subprocess.run([a.exe, "measure", tif, *args, "--out", os.path.join(work, "cli"), "--quiet"], check=True)


kw = dict(base=101, centre=(n // 2, n // 2), quiet=True)
t_cli = best(cli)
t_out = best(lambda: tephromat.measure(tif, out=os.path.join(work, "py"), **kw))
t_mem = best(lambda: tephromat.measure(tif, **kw))
t_arr = best(lambda: tephromat.measure(z, transform=(1750000, 10, 0, 5920000, 0, -10), crs=2193, **kw))
shutil.rmtree(work)
print(f"{n} x {n} cells, best of {a.repeat}:")
print(f"  tephromat measure (command line)    {t_cli:8.2f} s")
print(f"  tephromat.measure(path, out=...)    {t_out:8.2f} s  ({100 * (t_out / t_cli - 1):+.1f} %)")
print(f"  tephromat.measure(path), in memory  {t_mem:8.2f} s  ({100 * (t_mem / t_cli - 1):+.1f} %)")
print(f"  tephromat.measure(array), in memory {t_arr:8.2f} s  ({100 * (t_arr / t_cli - 1):+.1f} %)")
