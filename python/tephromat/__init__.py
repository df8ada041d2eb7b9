"""TEPHROMAT in Python: measure volcanic cones from DEMs, numpy arrays in and out.

The same engine as ``tephromat measure``, with the same options as keyword
arguments (dashes as underscores)::

    import tephromat
    r = tephromat.measure("cone.tif", base="auto", centre_lonlat=(174.764, -36.877))
    r = tephromat.measure(z, pixel_size=10.0, base=125, centre=(27, 29))
    r.summary["volume_km3"], r.slices, r.rebuilt, r.plot()
    tephromat.base_sweep("cone.tif", centre=(27, 29), bases=range(100, 131))

Nothing is written unless ``out=`` is given (or ``Result.save`` is called).
"""

import errno
import inspect
import math
import numbers
import os
import warnings

import numpy as np

from . import _core, _options
from .result import Result

__all__ = ["measure", "base_sweep", "plot_sweep", "Result", "RunError", "TephromatWarning", "__version__"]
__version__ = _core.version


class RunError(RuntimeError):
    """A run that failed: the DEM cannot be read, the centre lies outside the
    grid, the base line is above the top, ... (the program's exit status 1).
    The message is the program's."""


class TephromatWarning(UserWarning):
    """A figure that cannot be trusted, as the run warns of it (its code is
    the ``code`` attribute, the report's text the message)."""

    def __init__(self, text, code=""):
        super().__init__(text)
        self.code = code


# Keyword arguments of an array (or dataset), beside the command's options.
_ARRAY_PARAMETERS = [
    inspect.Parameter("nodata", inspect.Parameter.KEYWORD_ONLY, default=None),
    inspect.Parameter("transform", inspect.Parameter.KEYWORD_ONLY, default=None),
    inspect.Parameter("crs", inspect.Parameter.KEYWORD_ONLY, default=None),
    inspect.Parameter("progress", inspect.Parameter.KEYWORD_ONLY, default=None),
]


def _gdal_transform(transform):
    """A geotransform in GDAL's order from GDAL's 6 numbers or an affine.Affine."""
    if transform is None:
        return None
    try:
        t = tuple(float(v) for v in (transform.to_gdal() if hasattr(transform, "to_gdal") else transform))
    except (TypeError, ValueError):
        raise ValueError(f"transform: six numbers (GDAL's order) or an affine.Affine, not {transform!r}") from None
    if len(t) != 6:
        raise ValueError("transform: six terms are needed (GDAL's order, or an affine.Affine)")
    return t


def _crs_text(crs):
    if crs is None:
        return None
    if isinstance(crs, (int, np.integer)):
        return f"EPSG:{int(crs)}"
    if hasattr(crs, "to_wkt"):
        return crs.to_wkt()
    if isinstance(crs, str):
        return crs
    raise ValueError(f"crs: {crs!r} is not a coordinate system (WKT, 'EPSG:n', an EPSG code)")


def _from_dataset(ds):
    """The heights, transform, crs and nodata of an open rasterio or GDAL dataset."""
    if hasattr(ds, "GetRasterBand"):  # osgeo.gdal.Dataset
        band = ds.GetRasterBand(1)
        z = band.ReadAsArray()
        scale, offset = band.GetScale() or 1.0, band.GetOffset() or 0.0
        gt = ds.GetGeoTransform(can_return_null=True)
        wkt = ds.GetProjection() or None
        nodata = band.GetNoDataValue()
    else:  # rasterio
        z = ds.read(1)
        scale = ds.scales[0] if getattr(ds, "scales", None) else 1.0
        offset = ds.offsets[0] if getattr(ds, "offsets", None) else 0.0
        gt = ds.transform.to_gdal() if ds.transform is not None else None
        wkt = ds.crs.to_wkt() if ds.crs else None
        nodata = ds.nodata
    if scale != 1.0 or offset != 0.0:
        mask = np.isnan(z) if nodata is None else (z == nodata) | np.isnan(z)
        z = z * scale + offset
        z[mask] = np.nan
        nodata = None
    return z, gt, wkt, nodata


def _prepare(dem, kwargs):
    """(args for the command, the array or None, its options, the DEM for Result)."""
    array_options = {}
    nodata, transform, crs = (kwargs.pop(k, None) for k in ("nodata", "transform", "crs"))
    if isinstance(dem, (str, os.PathLike)):
        path = os.fspath(dem)
        if nodata is not None or transform is not None or crs is not None:
            raise ValueError("nodata, transform and crs describe an array: a DEM file states its own")
        if not os.path.lexists(path):
            raise FileNotFoundError(errno.ENOENT, f"cannot read {path} (no such file)", path)
        if path.startswith("-"):  # a name, not an option
            path = os.path.join(os.curdir, path)
        return [path] + _options.arguments(kwargs), None, array_options
    if hasattr(dem, "GetRasterBand") or (hasattr(dem, "read") and hasattr(dem, "transform")):
        z, gt, wkt, band_nodata = _from_dataset(dem)
        transform = transform if transform is not None else gt
        crs = crs if crs is not None else wkt
        nodata = nodata if nodata is not None else band_nodata
        dem = z
    if isinstance(dem, np.ma.MaskedArray):
        dem = dem.astype(float).filled(np.nan)
    if not isinstance(dem, np.ndarray):
        raise ValueError(f"dem: a path, a 2-D numpy array or an open dataset, not {type(dem).__name__}")
    if dem.dtype == np.float16:  # half precision: the same heights in single
        dem = dem.astype(np.float32)
    pixel_size = kwargs.pop("pixel_size", None)
    if pixel_size is not None and (isinstance(pixel_size, (bool, np.bool_)) or not isinstance(pixel_size, numbers.Real)
                                   or not 0 < float(pixel_size) < 2147483648.0):
        raise ValueError(f"pixel_size: metres, above 0, not {pixel_size!r}")
    if nodata is not None:
        try:
            nodata = float(nodata)
        except (TypeError, ValueError):
            raise ValueError(f"nodata: a number marking the cells without data, not {nodata!r}") from None
    array_options = {
        "nodata": nodata,
        "transform": _gdal_transform(transform),
        "pixel_size": None if pixel_size is None else float(pixel_size),
        "crs": _crs_text(crs),
    }
    for k in ("reproject", "input_unit"):
        if kwargs.get(k) not in (None, False, "m"):
            raise ValueError(f"{k}: not for an array")
    name = "array"
    return [name] + _options.arguments(kwargs), dem, array_options


def _error(out):
    """The program's message, without its 'tephromat: ' and without the notes before it."""
    lines = out["errors"].rstrip().split("\n")  # decoded by _run
    start = max((k for k, l in enumerate(lines) if l.startswith("tephromat: ")), default=0)
    text = "\n".join(lines[start:])
    return text[len("tephromat: "):] if text.startswith("tephromat: ") else text


def _run(dem, kwargs, in_memory=True):
    kwargs = dict(kwargs)
    progress = kwargs.pop("progress", None)
    if progress is not None and not callable(progress):
        raise ValueError("progress: a callable taking (stage, fraction), or None")
    quiet = bool(kwargs.get("quiet"))
    args, array, array_options = _prepare(dem, kwargs)
    # Bytes as the file system has them: a name that is no UTF-8 passes too.
    out = _core.measure([os.fsencode(a) for a in args], array, array_options, in_memory, progress)
    out["errors"] = out["errors"].decode("utf-8", "replace")
    out["text"] = out["text"].decode("latin-1")
    # Names as the file system has them (a name that is no UTF-8 included).
    for key in ("command_line", "nomgene"):
        if key in out:
            out[key] = os.fsdecode(out[key])
    out["texts"] = {os.fsdecode(k): v for k, v in out.get("texts", {}).items()}
    status = out["status"]
    if status == 2:
        raise ValueError(_error(out))
    if status != 0:
        message = _error(out)
        if "(no such file)" in message:
            raise FileNotFoundError(errno.ENOENT, message)
        raise RunError(message)
    if not quiet:
        for code, text in out.get("warnings", []):
            warnings.warn(TephromatWarning(" ".join(text.split()), code), stacklevel=3)
    return out, args, array, array_options


# The texts a run writes, which a Result reads.
_TEXTS = ("_info.txt", "_orient.xls", "_gravcenters.xyz", "_surf_slice.xls", "_centres_map.csv", "_summary.csv",
          "_morphometry.csv", "_contours.csv", "_height_bands.csv", "_command.txt", "_base_sweep.csv")


def measure(dem, **kwargs):
    written = kwargs.get("out") is not None
    out, args, array, array_options = _run(dem, kwargs, in_memory=not written)
    if written:  # the figures and tables read back from the files this run wrote (not an earlier run's)
        texts = out.setdefault("texts", {})
        for name in map(os.fsdecode, out.get("written", [])):
            if name.endswith(tuple(out.get("nomgene", "") + suffix for suffix in _TEXTS)) and os.path.isfile(name):
                with open(name, "rb") as f:
                    texts[name] = f.read()
    # The Result keeps its own copy: the caller's array may change after the run.
    return Result(out, dem if array is None else np.array(array, copy=True), kwargs, args, array_options)


def _swept_bases(start, stop, step):
    """The bases that ``--base-sweep START:STOP:STEP`` measures, as the program counts and adds them."""
    n = math.floor((stop - start) / step * (1 + 1e-12)) + 1

    def nanometre(b):  # C's round(b * 1e9) / 1e9: halves away from zero
        y = abs(b * 1e9)
        whole = math.floor(y)
        return math.copysign(whole + (1.0 if y - whole >= 0.5 else 0.0), b) / 1e9

    return [nanometre(start + k * step) for k in range(n)]


def base_sweep(dem, bases, **kwargs):
    out_given = kwargs.get("out") is not None
    if isinstance(bases, range) and len(bases) == 0:
        raise ValueError("bases: the range is empty")
    if isinstance(bases, (str, range)) or (isinstance(bases, tuple) and len(bases) == 3):
        runs = [bases]
    else:
        bases = [float(b) for b in bases]
        if not bases:
            raise ValueError("bases: at least one base line")
        steps = {round(b - a, 9) for a, b in zip(bases, bases[1:])}
        step = steps.pop() if len(steps) == 1 else 0
        # One sweep when the program's own count and sums give back every base
        # exactly; any other bases: one sweep each.
        if step > 0 and _swept_bases(bases[0], bases[-1], step) == bases:
            runs = [(bases[0], bases[-1], step)]
        else:
            runs = [(b, b, 1) for b in bases]
    import pandas as pd

    tables = []
    for sweep in runs:
        out, *_ = _run(dem, dict(kwargs, base_sweep=sweep), in_memory=not out_given)
        if out_given:
            path = os.path.join(os.fspath(kwargs["out"]), f"{out['nomgene']}_base_sweep.csv")
            with open(path, "rb") as f:
                tables.append(Result._csv(f.read()))
        else:
            tables.append(Result._csv(Result._text(out, "_base_sweep.csv")))
    return pd.concat(tables, ignore_index=True) if len(tables) > 1 else tables[0]


def plot_sweep(table, ax=None):
    """Plots a base sweep: volumes, height and basal width against the base line.

    Parameters
    ----------
    table : pandas.DataFrame
        What `base_sweep` returns (or ``Result.base_sweep``).
    ax : sequence of 3 matplotlib Axes, optional
        Where to draw (a new figure otherwise).

    Returns
    -------
    matplotlib.figure.Figure
        Volumes (km3), volcanic height (m) and basal width W = 2 sqrt(S / pi)
        (m) against the base line (m); the bases at which the edifice is open
        (warnings border or nodata) shaded.
    """
    from . import plotting

    return plotting.sweep_figure(table, ax)


_MEASURE_DOC = """Measures a volcanic cone, as ``tephromat measure`` does.

Parameters
----------
dem : str, os.PathLike, numpy.ndarray, or an open rasterio / GDAL dataset
    The DEM. A path: a GeoTIFF or any raster GDAL reads, an ESRI grid (.asc)
    or a raw grid (NAME_m2.raw or NAME_m4.raw with its .txt descriptor). An
    array: 2-D, of floating-point or integer heights in metres (C or Fortran
    order, any strides, read-only is fine; copied once), line 0 at the north,
    NaN or ``nodata`` for cells without data; give ``pixel_size`` or
    ``transform``. A dataset: its band 1, transform, crs and nodata.
{options}
nodata : float, default None
    Arrays only: the height that marks a cell without data (NaN always does).
    Unit: the array's.
transform : 6 floats (GDAL's order) or affine.Affine, default None
    Arrays only: where the array lies (north up, square cells in metres).
    Unit: map units (metres).
crs : str or int, default None
    Arrays only: the coordinate system, as WKT, 'EPSG:n' or an EPSG code;
    projected in metres. Unit: none.
progress : callable, default None
    Called as ``progress(stage, fraction)`` (fraction 0 to 1) a few times a
    second while the slices are measured and the cone is rebuilt.
    Unit: fraction of the stage.

Returns
-------
Result
    The figures (``summary``, ``morphometry``), the tables (``slices``,
    ``contours``, ...), the grids (``rebuilt``, ``erosion``, ``slope``), the
    ``warnings`` and the ``report``. Nothing is written unless ``out`` is
    given (then the files of the command-line run are written there, the
    figures and tables are read back from them, and the grids are None: they
    are in the output DEMs).

Raises
------
ValueError
    A bad argument (an unknown value, a 3-D array, a wrong dtype, ...).
FileNotFoundError
    The DEM file does not exist.
RunError
    The run failed (a centre outside the grid, a base above the top, ...).
KeyboardInterrupt
    Ctrl-C stops the run within a second, with nothing written.

Warns
-----
TephromatWarning
    Each warning of the run (unless ``quiet``), also in ``Result.warnings``.

Notes
-----
The run releases the GIL; ``threads`` chooses its threads. Every option of
``tephromat measure --help`` is an argument of the same name, dashes as
underscores, with the same default; ``None`` leaves the command's default.

Examples
--------
>>> r = tephromat.measure("maunga_whau.asc", base=125, centre=(27, 29))
>>> r.summary["volume_km3"]
0.0067279
"""

_SWEEP_DOC = """Measures the cone at many base lines, reading the DEM once.

Parameters
----------
dem : str, os.PathLike, numpy.ndarray, or an open rasterio / GDAL dataset
    The DEM, as for `measure`.
bases : range, sequence of numbers, (from, to, step) or 'FROM:TO:STEP'
    The base lines, metres (an end of the string form may be 'auto', 'auto+N',
    'auto-N'). Equally spaced bases are one sweep; other lists are measured
    one base at a time.
**kwargs
    Every other argument of `measure` (``centre``, ``threads``, ...).

Returns
-------
pandas.DataFrame
    A row a base: ``status`` ('ok' or the run's error), then the summary of a
    run at that base (the columns of ``Result.summary``).

Raises
------
ValueError, FileNotFoundError, RunError
    As `measure`.
"""


def _finish():
    options = _options.options_doc(skip=("base", "base_sweep"))
    measure.__doc__ = _MEASURE_DOC.format(options=_options.options_doc())
    measure.__signature__ = inspect.Signature(_options.parameters(_ARRAY_PARAMETERS))
    returns, raises = _SWEEP_DOC.split("Raises\n------\n")
    base_sweep.__doc__ = (returns + "Other Parameters\n----------------\n" + options + "\n\nRaises\n------\n" +
                          raises)
    params = _options.parameters()
    params.insert(1, inspect.Parameter("bases", inspect.Parameter.POSITIONAL_OR_KEYWORD))
    params = [p for p in params if p.name not in ("base", "base_sweep")]
    base_sweep.__signature__ = inspect.Signature(params + _ARRAY_PARAMETERS)


_finish()
