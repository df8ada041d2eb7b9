"""What a run of `tephromat.measure` gives back."""

import io
import os

import numpy as np


# The columns that hold words or names, kept as text whatever they look like
# (a generic name "1e3", a version "1.0").
_TEXT_COLUMNS = {"tephromat_version", "dem", "generic_name", "warnings", "crs", "base_limit", "status", "mode",
                 "summit_rule", "crater_source"}


def _value(cell, name=""):
    """A summary cell as the number it writes (int when whole), text, or None when empty."""
    if cell == "":
        return None
    if name in _TEXT_COLUMNS:
        return cell
    try:
        return int(cell)
    except ValueError:
        pass
    try:
        return float(cell)
    except ValueError:
        return cell


class Result:
    """The results of a run, in memory.

    Attributes
    ----------
    summary : dict
        Every figure of ``<G>_summary.csv``, under the same names (numbers as
        int or float, text as str, None where the figure does not exist).
    morphometry : dict
        Every figure of ``<G>_morphometry.csv`` likewise (None when not measured).
    slices : pandas.DataFrame
        The slice table ``<G>_surf_slice.xls``: distance (m), surface (m2),
        volume (m3), slice number and altitude (m) of each 1 m slice.
    orientations : pandas.DataFrame
        ``<G>_orient.xls``: the orientation (degrees) of each slice's longest radius.
    contours, height_bands : pandas.DataFrame
        ``<G>_contours.csv`` and ``<G>_height_bands.csv``.
    base_sweep : pandas.DataFrame or None
        ``<G>_base_sweep.csv`` of a run with ``base_sweep=``.
    rebuilt, erosion : numpy.ndarray of float64
        The rebuilt cone and the erosion thickness, metres, as the output DEMs
        hold them; NaN where the DEM has no data.
    slope : numpy.ndarray of float64
        The present relief's slope angles, degrees (whole), NaN on the grid's
        border and where there is no data.
    edifice : numpy.ndarray of bool
        The cells of the edifice above the base line.
    warnings : list of (str, str)
        The run's warnings: code and text.
    report : str
        The report ``<G>_info.txt``.
    transform : affine.Affine, or 6 floats in GDAL's order without affine
        Where the grids lie (as rasterio takes it); ``geotransform`` in GDAL's order.
    crs : str or None
        The coordinate system as WKT (rasterio and pyproj read it); ``epsg`` its code.
    files : dict
        Every text the run made, by file name (bytes).
    """

    def __init__(self, out, dem, kwargs, args, array_options):
        self._out = out
        self._dem = dem
        self._kwargs = dict(kwargs)
        self._args = list(args)
        self._array_options = dict(array_options)
        self.files = dict(out.get("texts", {}))
        self.name = out.get("nomgene", "")
        self.warnings = [tuple(w) for w in out.get("warnings", [])]
        self.notes = out.get("errors", "")
        self.command_line = out.get("command_line", "")
        self.report = self._decoded("_info.txt") or out.get("text", "")
        self.rebuilt = out.get("rebuilt")
        self.erosion = out.get("erosion")
        self.slope = out.get("slope")
        self.edifice = out.get("edifice")
        self.geotransform = tuple(out["transform"]) if "transform" in out else None
        self.crs = out.get("crs_wkt") or None
        self.epsg = out.get("epsg") or None
        self.transform = self.geotransform
        if self.geotransform is not None:
            try:
                from affine import Affine

                self.transform = Affine.from_gdal(*self.geotransform)
            except ImportError:
                pass
        self.summary = self._row("_summary.csv")
        self.morphometry = self._row("_morphometry.csv")
        self.slices = self._table("_surf_slice.xls", sep="\t")
        self.orientations = self._table("_orient.xls", sep="\t")
        self.contours = self._table("_contours.csv")
        self.height_bands = self._table("_height_bands.csv")
        self.base_sweep = self._table("_base_sweep.csv")

    # The texts of the run.
    @staticmethod
    def _text(out, suffix):
        found = b""
        for name, text in out.get("texts", {}).items():
            if name.endswith(suffix):
                found = text
        return found

    def _decoded(self, suffix):
        # The report is Latin-1 (the degree sign is byte 0xB0).
        return self._text(self._out, suffix).decode("latin-1")

    @staticmethod
    def _csv(data, sep=","):
        import pandas as pd

        # round_trip: each number the double that the program wrote.
        return pd.read_csv(io.BytesIO(data), sep=sep, keep_default_na=False, na_values=[""], encoding="latin-1",
                           float_precision="round_trip")

    def _table(self, suffix, sep=","):
        data = self._text(self._out, suffix)
        if not data:
            return None
        table = self._csv(data, sep)
        return table.dropna(axis=1, how="all") if sep == "\t" else table

    def _row(self, suffix):
        import csv

        data = self._text(self._out, suffix).decode("utf-8", "surrogateescape")  # a path as the file system has it
        rows = list(csv.reader(io.StringIO(data)))
        if len(rows) < 2:
            return None
        return {name: _value(cell, name) for name, cell in zip(rows[0], rows[1])}

    def __repr__(self):
        s = self.summary or {}
        return (f"<tephromat.Result {self.name}: base {s.get('base_m')} m, volume {s.get('volume_km3')} km3, "
                f"{len(self.warnings)} warning(s)>")

    # The DEM that was measured, for the pictures.
    def dem(self):
        """The present relief (float64, metres, NaN without data), as the DEM gives it.

        An array or dataset is the one given; a file is read again with GDAL.
        """
        if isinstance(self._dem, np.ndarray):
            z = np.array(self._dem, dtype=float)
            nodata = self._array_options.get("nodata")
            if nodata is not None:
                z[z == nodata] = np.nan
            return z
        from osgeo import gdal

        gdal.UseExceptions()
        ds = gdal.Open(os.fspath(self._dem))
        band = ds.GetRasterBand(1)
        z = band.ReadAsArray().astype(float)
        nodata = band.GetNoDataValue()
        if nodata is not None:
            z[z == nodata] = np.nan
        z = z * (band.GetScale() or 1.0) + (band.GetOffset() or 0.0)
        if self.rebuilt is not None and z.shape != self.rebuilt.shape:  # reprojected in the run
            return None
        return z

    def plot(self, kind="relief", ax=None):
        """A matplotlib figure of the run.

        Parameters
        ----------
        kind : {'relief', 'erosion', 'slope', 'sweep', 'slices'}
            'relief': the shaded present relief with the edifice's outline,
            the crater and the contours of ``contours``; 'erosion': the erosion
            thickness (m) over the shaded rebuilt cone; 'slope': the slope
            angles (degrees); 'sweep': the figures of ``base_sweep`` against the
            base line (m); 'slices': the surface (m2) of each slice against its
            altitude (m).
        ax : matplotlib.axes.Axes, optional
            Where to draw (a new figure otherwise).

        Returns
        -------
        matplotlib.figure.Figure
        """
        from . import plotting

        return plotting.plot(self, kind, ax)

    def save(self, out, format="geotiff"):
        """Writes the files of the command-line run into the folder `out`.

        The run is made again with ``out`` and ``format`` (the same arguments,
        the same figures): the output DEMs, pictures, report, tables and
        summary, as ``tephromat measure ... --out OUT --format FORMAT`` writes
        them.

        Parameters
        ----------
        out : str or os.PathLike
            The folder, created if missing.
        format : {'geotiff', 'esri', 'raw16', 'raw32'}
            The output DEMs' format.

        Returns
        -------
        list of str
            The paths of the files written.
        """
        from . import _run

        kwargs = {k: v for k, v in self._kwargs.items() if k != "progress"}
        kwargs.update(out=os.fspath(out), format=format)
        if isinstance(self._dem, np.ndarray):  # an array, or a dataset's
            kwargs.update({k: v for k, v in self._array_options.items() if v is not None})
        _run(self._dem, kwargs, in_memory=False)
        folder = os.fspath(out)
        return sorted(os.path.join(folder, f) for f in os.listdir(folder) if f.startswith(self.name + "_"))
