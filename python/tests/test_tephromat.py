"""The Python package against the command it wraps: same engine, same figures."""

import csv
import os
import re
import shutil
import signal
import subprocess
import sys
import threading
import time
import warnings

import numpy as np
import pytest

import tephromat

SOURCE = os.path.abspath(os.environ.get("TEPHROMAT_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")))
EXE = os.environ.get("TEPHROMAT_EXE", os.path.join(SOURCE, "build", "tephromat"))
ASC = os.path.join(SOURCE, "examples", "maunga-whau", "maunga_whau.asc")
TIF = os.path.join(SOURCE, "examples", "maunga-whau-lidar", "maungawhau_lidar_10m_nztm.tif")
LONLAT = (174.7642, -36.8772)


def command(*args):
    return subprocess.run([EXE, "measure", *args], capture_output=True, encoding="latin-1", check=True)


def csv_row(path):
    with open(path, newline="") as f:
        rows = list(csv.reader(f))
    return dict(zip(rows[0], rows[1]))


def as_cell(v):
    """A summary value of the package written back as the CSV cell it came from."""
    if v is None:
        return ""
    if isinstance(v, float):
        return repr(v) if v != int(v) or abs(v) >= 1e16 else str(int(v))
    return str(v)


def output_dem(path):
    from osgeo import gdal

    ds = gdal.Open(path)
    band = ds.GetRasterBand(1)
    z = band.ReadAsArray().astype(float)
    z[z == band.GetNoDataValue()] = np.nan
    return z * (band.GetScale() or 1.0)


def cone(n, seed=0, crater=True):
    """A synthetic cone (metres) of n x n cells of 10 m, with a crater and noise."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:n, 0:n] - (n - 1) / 2
    r = np.hypot(x, y) / (n / 2)
    z = 100 + 150 * np.clip(1 - r, 0, None) ** 1.5
    if crater:
        z -= 40 * np.exp(-((r / 0.08) ** 2))
    return z + rng.uniform(0, 0.9, z.shape)


@pytest.fixture(scope="module")
def cli_runs(tmp_path_factory):
    """The command's runs on the two samples."""
    d = tmp_path_factory.mktemp("cli")
    command(ASC, "--base", "125", "--centre", "27,29", "--out", str(d / "asc"))
    command(TIF, "--base", "auto", "--centre-lonlat", "%r,%r" % LONLAT, "--out", str(d / "tif"))
    return d


@pytest.mark.parametrize("dem,kwargs,folder,name", [
    (ASC, dict(base=125, centre=(27, 29)), "asc", "maunga_whau"),
    (TIF, dict(base="auto", centre_lonlat=LONLAT), "tif", "maungawhau_lidar_10m_nztm"),
])
def test_same_figures_and_grids_as_the_command(cli_runs, dem, kwargs, folder, name):
    out = cli_runs / folder
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tephromat.TephromatWarning)
        r = tephromat.measure(dem, **kwargs)
    summary = csv_row(out / f"{name}_summary.csv")
    assert list(r.summary) == list(summary)
    for column, cell in summary.items():
        assert as_cell(r.summary[column]) == cell, column
    for column, cell in csv_row(out / f"{name}_morphometry.csv").items():
        assert as_cell(r.morphometry[column]) == cell, column
    np.testing.assert_array_equal(r.rebuilt, output_dem(str(out / f"{name}_rec1.tif")))
    np.testing.assert_array_equal(r.erosion, output_dem(str(out / f"{name}_eros1.tif")))
    assert r.rebuilt.dtype == np.float64 and r.rebuilt.flags.owndata is not None and r.rebuilt.base is None
    with open(out / f"{name}_surf_slice.xls", "rb") as f:
        assert r.files[[k for k in r.files if k.endswith("_surf_slice.xls")][0]] == f.read()
    assert len(r.slices) == sum(1 for _ in open(out / f"{name}_surf_slice.xls")) - 1
    # The same report, but for the folder of the results it names.
    with open(out / f"{name}_info.txt", encoding="latin-1") as f:
        expected = f.read().replace(f"{out}/{name}_", f"OUT/{name}_")
    assert r.report.replace(f"{os.path.dirname(dem)}/{name}_", f"OUT/{name}_") == expected
    assert r.warnings == [] or all(len(w) == 2 for w in r.warnings)
    # The slope angles: whole degrees inside the grid, none on its border.
    assert np.isnan(r.slope[0]).all() and np.isnan(r.slope[:, -1]).all()
    inner = r.slope[1:-1, 1:-1]
    assert np.nanmax(inner) < 90 and (inner[np.isfinite(inner)] == np.round(inner[np.isfinite(inner)])).all()


def test_rasterio_transform_crs_and_datasets(cli_runs):
    import rasterio
    from osgeo import gdal

    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tephromat.TephromatWarning)
        r = tephromat.measure(TIF, base="auto", centre_lonlat=LONLAT)
        with rasterio.open(TIF) as ds:
            assert r.transform == ds.transform
            assert rasterio.crs.CRS.from_wkt(r.crs) == ds.crs and r.epsg == 2193
            from_rasterio = tephromat.measure(ds, base="auto", centre_lonlat=LONLAT)
        from_gdal = tephromat.measure(gdal.Open(TIF), base="auto", centre_lonlat=LONLAT)
    for other in (from_rasterio, from_gdal):
        for column in r.summary:
            if column not in ("dem", "generic_name"):
                assert other.summary[column] == r.summary[column], column
        np.testing.assert_array_equal(other.rebuilt, r.rebuilt)


def test_arrays_in_any_layout_give_the_figures_of_the_file():
    from osgeo import gdal

    ds = gdal.Open(TIF)
    band = ds.GetRasterBand(1)
    z = band.ReadAsArray()  # float32, as the file holds it
    gt, wkt = ds.GetGeoTransform(), ds.GetProjection()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", tephromat.TephromatWarning)
        ref = tephromat.measure(TIF, base=117, centre_lonlat=LONLAT)
        big = np.full((z.shape[0] + 3, 2 * z.shape[1] + 1), 7.0, dtype=np.float32)
        big[1:-2, 1::2] = z
        view = big[1:-2, 1::2]  # not contiguous
        readonly = np.asfortranarray(z)
        readonly.flags.writeable = False
        for a in (z, view, readonly):
            r = tephromat.measure(a, transform=gt, crs=wkt, base=117, centre_lonlat=LONLAT)
            for column in ref.summary:
                if column not in ("dem", "generic_name"):
                    assert r.summary[column] == ref.summary[column], column
            np.testing.assert_array_equal(r.rebuilt, ref.rebuilt)
    # Integers and a nodata value: as the same heights in floating point with NaN.
    h = cone(60).astype(np.int16)
    h[:3, :3] = -9999
    f = h.astype(np.float64)
    f[:3, :3] = np.nan
    a = tephromat.measure(h, pixel_size=10, nodata=-9999, base=110, centre=(30, 30), quiet=True)
    b = tephromat.measure(f, pixel_size=10, base=110, centre=(30, 30), quiet=True)
    assert a.summary == b.summary and np.isnan(a.rebuilt[:3, :3]).all()
    g = np.where(np.isnan(f), np.float32(-9999.9), f).astype(np.float32)  # a nodata value of the float's own
    assert tephromat.measure(g, pixel_size=10, nodata=-9999.9, base=110, centre=(30, 30), quiet=True).summary == b.summary
    # Half precision holds these heights exactly; a name that looks like a number stays a name.
    c = tephromat.measure(f.astype(np.float16), pixel_size=10, base=110, centre=(30, 30), quiet=True, name="1e3")
    assert c.summary.pop("generic_name") == "1e3" and c.summary == {k: v for k, v in b.summary.items()
                                                                   if k != "generic_name"}
    np.testing.assert_array_equal(a.erosion, b.erosion)


@pytest.mark.parametrize("dem,kwargs,error,message", [
    (np.zeros((0, 0)), dict(pixel_size=10), ValueError, "no cell"),
    (np.zeros((1, 1)), dict(pixel_size=10), tephromat.RunError, ""),
    (np.full((20, 20), np.nan), dict(pixel_size=10), tephromat.RunError, "no elevation"),
    (np.zeros((20, 20), dtype=bool), dict(pixel_size=10), ValueError, "bool"),
    (np.zeros((20, 20), dtype=complex), dict(pixel_size=10), ValueError, "complex"),
    (np.zeros((4, 20, 20)), dict(pixel_size=10), ValueError, "2-D"),
    ("no-such-dem.tif", {}, FileNotFoundError, "no such file"),
    (cone(40), dict(), tephromat.RunError, "pixel_size"),
    (cone(40), dict(transform=(0, 10, 0, 400, 0, -10), crs=4326), tephromat.RunError, "degrees"),
    (cone(40), dict(pixel_size=10, base=1000), tephromat.RunError, ""),
    (cone(40), dict(pixel_size=10, centre=(400, 3)), tephromat.RunError, "--centre"),
    (cone(40), dict(pixel_size=10, format="png"), ValueError, "--format"),
    (cone(40), dict(pixel_size=10, threads=-3), ValueError, "--threads"),
    (cone(40), dict(pixel_size=10, colour="red"), TypeError, "colour"),
    (cone(40), dict(pixel_size=-10, transform=(0, 10, 0, 400, 0, -10)), ValueError, "pixel_size"),
    (cone(40), dict(pixel_size=True), ValueError, "pixel_size"),
    (cone(40), dict(transform="0 10 0 400 0 -10"), ValueError, "transform"),
    (cone(40), dict(pixel_size=10, nodata=[-9999]), ValueError, "nodata"),
])
def test_bad_input_raises_and_leaks_nothing(dem, kwargs, error, message):
    kwargs = dict(dict(base=110, centre=(20, 20)), **kwargs) if not isinstance(dem, str) else dict(base=1, centre=(1, 1))
    with pytest.raises(error, match=re.escape(message)):
        tephromat.measure(dem, **kwargs)


def test_failures_do_not_grow_memory():
    def rss():
        with open("/proc/self/statm") as f:
            return int(f.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")

    z = cone(300)
    for _ in range(3):
        with pytest.raises(tephromat.RunError):
            tephromat.measure(z, pixel_size=10, base=10000, centre=(150, 150))
    before = rss()
    for _ in range(30):
        with pytest.raises(tephromat.RunError):
            tephromat.measure(z, pixel_size=10, base=10000, centre=(150, 150))
        with pytest.raises(tephromat.RunError):
            tephromat.measure(z, pixel_size=10, base=110, centre=(1000, 1000))
    assert rss() - before < 16 << 20


def test_every_option_is_a_documented_keyword_with_its_default():
    help_text = subprocess.run([EXE, "measure", "--help"], capture_output=True, text=True, check=True).stdout
    doc = tephromat.measure.__doc__
    import inspect

    signature = inspect.signature(tephromat.measure)
    names = sorted(set(re.findall(r"^\s+(--[a-z][a-z-]*)", help_text, re.M)) - {"--help", "--version"})
    assert len(names) > 15
    for option in names:
        keyword = option[2:].replace("-", "_")
        assert keyword in signature.parameters, option
        assert re.search(rf"^{keyword} : .*\n(    .*\n)*    .*Unit:\s", doc + "\n", re.M), option
        shown = re.search(rf"^\s+{option}(?: [A-Z]+)?=(\S+)", help_text, re.M)
        if shown and shown.group(1) not in ("off",) and re.fullmatch(r"[\w.-]+", shown.group(1)):
            default = signature.parameters[keyword].default
            assert default is None or str(default) == shown.group(1) or (
                isinstance(default, float) and default == float(shown.group(1))), option
    for f in (tephromat.measure, tephromat.base_sweep, tephromat.plot_sweep, tephromat.Result.plot,
              tephromat.Result.save):
        assert "Parameters\n----------" in inspect.getdoc(f) and "Returns\n-------" in inspect.getdoc(f)


def test_warnings_progress_threads_and_sweep(cli_runs, tmp_path):
    stages = []
    with pytest.warns(tephromat.TephromatWarning) as caught:
        r1 = tephromat.measure(ASC, base=110, centre=(27, 29), threads=1,
                               progress=lambda stage, f: stages.append((stage, f)))
    assert {w.message.code for w in caught} == {code for code, _ in r1.warnings} and "border" in r1.summary["warnings"]
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        r2 = tephromat.measure(ASC, base=110, centre=(27, 29), threads=2, quiet=True)
    assert r1.summary == r2.summary
    assert all(isinstance(s, str) and 0 <= f <= 1 for s, f in stages)

    subprocess.run([EXE, "measure", ASC, "--base-sweep", "120:126:1", "--centre", "27,29", "--out", str(tmp_path)],
                   capture_output=True, check=True)
    with open(tmp_path / "maunga_whau_base_sweep.csv", newline="") as f:
        expected = list(csv.DictReader(f))
    table = tephromat.base_sweep(ASC, centre=(27, 29), bases=range(120, 127), quiet=True)
    assert list(table["base_m"]) == list(range(120, 127)) and len(expected) == 7
    for row, want in zip(table.to_dict("records"), expected):
        for column, cell in want.items():
            assert as_cell(None if row[column] != row[column] else row[column]) == cell, column
    # A process forked after a run on two threads runs and exits as well,
    script = ("import os, sys, tephromat\n"
              f"run = lambda: tephromat.measure({ASC!r}, base=125, centre=(27, 29), threads=2, quiet=True)\n"
              "run()\n"
              "pid = os.fork()\n"
              "if pid == 0:\n"
              "    run()\n"
              "    sys.exit(0)\n"
              "sys.exit(os.waitstatus_to_exitcode(os.waitpid(pid, 0)[1]))\n")
    # And one that ends while a daemon thread is in the middle of a run.
    daemon = ("import threading, time, numpy as np, tephromat\n"
              "z = 100 + 150 * np.clip(1 - np.hypot(*(np.mgrid[0:1000, 0:1000] - 499.5)) / 500, 0, None) ** 1.5\n"
              "threading.Thread(target=lambda: tephromat.measure(z, pixel_size=10, base=101, centre=(500, 500),\n"
              "                 quiet=True), daemon=True).start()\n"
              "time.sleep(0.3)\n")
    # And one ended in its progress callback, which gave the GIL away, while Python's exit frees a lot.
    callback = ("import threading, time, numpy as np, tephromat\n"
                "big = [[] for _ in range(3_000_000)]\n"
                "z = 100 + 150 * np.clip(1 - np.hypot(*(np.mgrid[0:1000, 0:1000] - 499.5)) / 500, 0, None) ** 1.5\n"
                "threading.Thread(target=lambda: tephromat.measure(z, pixel_size=10, base=101, centre=(500, 500),\n"
                "                 quiet=True, progress=lambda s, f, sleep=time.sleep: sleep(0.7)), daemon=True).start()\n"
                "time.sleep(0.5)\n")
    package = os.path.dirname(os.path.dirname(tephromat.__file__))
    for code in (script, daemon, callback):
        ended = subprocess.run([sys.executable, "-c", code], env=dict(os.environ, PYTHONPATH=package), timeout=60)
        assert ended.returncode == 0, code
    assert tephromat.base_sweep(ASC, centre=(27, 29), bases=range(126, 119, -1), quiet=True).equals(table)
    odd = tephromat.base_sweep(ASC, centre=(27, 29), bases=[126, 120], quiet=True)
    assert list(odd["volume_km3"]) == [table["volume_km3"][6], table["volume_km3"][0]]
    # Evenly spaced decimals: every base measured, each exactly as given.
    for fine in ([120, 120.1, 120.2, 120.3], [125.03 + k / 10 for k in range(11)]):
        assert list(tephromat.base_sweep(ASC, centre=(27, 29), bases=fine, quiet=True)["base_m"]) == fine


def test_pictures_and_save(cli_runs, tmp_path):
    import matplotlib

    matplotlib.use("Agg")
    beside = sorted(os.listdir(os.path.dirname(ASC)))
    r = tephromat.measure(ASC, base=125, centre=(27, 29))
    for kind in ("relief", "erosion", "slope", "slices"):
        assert isinstance(r.plot(kind), matplotlib.figure.Figure)
    s = tephromat.measure(ASC, base_sweep="120:124:2", centre=(27, 29), quiet=True)
    assert s.rebuilt is None and len(s.base_sweep) == 3
    assert isinstance(s.plot("sweep"), matplotlib.figure.Figure)
    with pytest.raises(ValueError, match="no grids"):
        s.plot()
    with pytest.raises(ValueError):
        r.plot("sweep")
    assert sorted(os.listdir(os.path.dirname(ASC))) == beside  # nothing written beside the DEM
    w = tephromat.measure(ASC, base=125, centre=(27, 29), out=tmp_path / "written", quiet=True)
    odd = os.fsdecode(os.fsencode(tmp_path) + b"/d\xff")  # a folder whose name is no UTF-8
    os.makedirs(odd)
    shutil.copy(ASC, odd)
    assert tephromat.measure(os.path.join(odd, "maunga_whau.asc"), base=125, centre=(27, 29), out=odd,
                             quiet=True).summary["volume_km3"] == r.summary["volume_km3"]
    assert w.summary == r.summary and w.slices.equals(r.slices) and w.rebuilt is None
    files = r.save(tmp_path / "saved")
    names = {os.path.basename(f) for f in files}
    assert names == set(os.listdir(cli_runs / "asc"))
    for f in ("maunga_whau_summary.csv", "maunga_whau_surf_slice.xls", "maunga_whau_contours.csv"):
        with open(tmp_path / "saved" / f, "rb") as a, open(cli_runs / "asc" / f, "rb") as b:
            assert a.read() == b.read(), f
    z = cone(50)
    a = tephromat.measure(z, pixel_size=10, base=110, centre=(25, 25), quiet=True)
    z -= 50  # the result keeps its own copy of the heights
    a.save(tmp_path / "array", format="esri")
    assert os.path.exists(tmp_path / "array" / "array_rec1.asc") and a.dem().max() == z.max() + 50
    # Into a folder with an earlier run's results: only this run's are read back.
    s = tephromat.measure(ASC, base_sweep="120:122:1", centre=(27, 29), out=tmp_path / "written", quiet=True)
    assert s.summary is None and len(s.base_sweep) == 3
    assert tephromat.measure(ASC, base=125, centre=(27, 29), out=tmp_path / "written", quiet=True).base_sweep is None


def test_ctrl_c_stops_within_a_second_with_nothing_written(tmp_path):
    z = cone(1500, crater=True)
    start = time.monotonic()
    # Measure how long the run takes, to interrupt it half-way through.
    tephromat.measure(z, pixel_size=10, base=101, centre=(750, 750), quiet=True, threads=2)
    took = time.monotonic() - start
    assert took > 0.4, "the grid is too small to interrupt"
    out = tmp_path / "out"
    timer = threading.Timer(took / 2, lambda: os.kill(os.getpid(), signal.SIGINT))
    timer.start()
    start = time.monotonic()
    with pytest.raises(KeyboardInterrupt):
        tephromat.measure(z, pixel_size=10, base=101, centre=(750, 750), quiet=True, threads=2, out=out)
    assert time.monotonic() - start < took / 2 + 1.0
    timer.join()
    assert not out.exists() or os.listdir(out) == []

    def stop(stage, fraction):
        raise RuntimeError("enough")

    with pytest.raises(RuntimeError, match="enough"):
        tephromat.measure(z, pixel_size=10, base=101, centre=(750, 750), quiet=True, progress=stop, out=out)
    assert not out.exists() or os.listdir(out) == []
