"""The options of ``tephromat measure`` as keyword arguments.

The table comes from the program itself (the options that ``tephromat measure
--help`` lists), so that an option added to the command is a keyword argument
here at once, under the same name with dashes as underscores.
"""

import inspect
import numbers
import os
import textwrap

import numpy as np

from . import _core

# What each argument is measured in, for the docstring (an option that is not
# listed here shows its help text alone, which names its unit).
UNITS = {
    "base": "metres above the DEM's datum, or 'auto'",
    "base_sweep": "metres: 'FROM:TO:STEP' or a range (ends may be 'auto', 'auto+N', 'auto-N')",
    "centre": "grid cells: (line, column), line 0 at the north; or 'summit', 'crater', 'calculated'",
    "centre_xy": "map units of the raster's coordinate system (metres): (x, y)",
    "centre_lonlat": "degrees, WGS 84: (longitude, latitude)",
    "out": "a folder",
    "name": "a file name stem",
    "format": "geotiff, esri, raw16 or raw32",
    "unit": "m, dm, cm or mm",
    "input_unit": "m, dm, cm or mm",
    "pixel_size": "metres",
    "reproject": "on or off",
    "basal_slice": "surface or perimeter",
    "upper_slices": "a count of slices",
    "upper_type": "surface or perimeter",
    "pictures": "cropped or full",
    "threads": "a count of threads",
    "quiet": "on or off",
    "dry_run": "on or off",
    "outline": "a vector file (GeoPackage, shapefile, GeoJSON...) holding the polygon",
    "fix_outline": "on or off",
    "crater": "a vector file holding the polygon, or 'none'",
    "basal_surface": "idw, natural, tin, plane or lowest",
    "idw_power": "a power (no unit)",
    "contour_fraction": "a fraction of the relief (0 to 1)",
    "contour_interval": "metres",
    "contour_anchor": "base or multiple",
    "summit_rule": "break or user",
    "summit_z": "metres above the DEM's datum",
    "summit_fraction": "a fraction of the height (0 to 1)",
    "shape_range": "cutoff or all",
    "clip_indices": "on or off",
    "slope": "d8 or horn",
    "slope_regions": "heights or native",
    "sink_fill": "keep-crater, all or none",
    "eroded_volume": "hull or layers",
}

# Options of the command that the Python call handles itself.
SKIPPED = {"--help", "--version"}

# Defaults that the command describes rather than states: None stands for
# them (the argument is then not passed, and the command's default holds).
_TYPES = {"INT": int, "FLOAT": float, "TEXT": str}


class Option:
    def __init__(self, entry):
        self.option = entry["name"]
        self.keyword = entry["name"].lstrip("-").replace("-", "_")
        self.flag = entry["flag"]
        self.type = entry["type"]
        self.default_text = entry["default"]
        self.description = " ".join(entry["description"].split())
        self.default = self._default()

    def _default(self):
        if self.flag:
            return False
        text = self.default_text
        kind = _TYPES.get(self.type)
        if not text or kind is None:
            return None
        if kind is str:
            # A word ("geotiff", "m"), not a description ("the DEM's name").
            return text if text.replace("-", "").isalnum() else None
        try:
            return kind(text)
        except ValueError:
            return None

    def argument(self, value):
        """The command-line argument for `value` (None: the option is not given)."""
        if value is None:
            return None
        if self.flag:
            if not isinstance(value, (bool, numbers.Integral, np.bool_)) or value not in (0, 1):
                raise ValueError(f"{self.keyword}: True or False, not {value!r}")
            return self.option if value else None
        return f"{self.option}={text_of(self.keyword, value)}"

    def doc(self):
        unit = UNITS.get(self.keyword)
        kind = "bool" if self.flag else {"INT": "int", "FLOAT": "float"}.get(self.type, "str or number")
        if self.keyword.startswith("centre"):
            kind = "str or (number, number)"
        if self.keyword == "base_sweep":
            kind = "str, range or (from, to, step)"
        default = repr(self.default) if self.default is not None else "None"
        if self.default is None and self.keyword == "out":
            default += " (nothing is written; the results stay in memory)"
        elif self.default is None and self.default_text:
            default += f" ({self.default_text})"
        head = f"{self.keyword} : {kind}, default {default}"
        body = self.description + "."
        if unit:
            body += f" Unit: {unit}."
        body += f" (``{self.option}``)"
        return head + "\n" + textwrap.indent(textwrap.fill(body, 76), "    ")


def text_of(keyword, value):
    """A value as the command reads it."""
    if isinstance(value, os.PathLike):
        return os.fspath(value)
    if isinstance(value, str):
        return value
    if isinstance(value, bool):
        raise ValueError(f"{keyword}: {value!r} is not a value for this option")
    if isinstance(value, range):
        if len(value) == 0:
            raise ValueError(f"{keyword}: the range is empty")
        lo, hi = min(value[0], value[-1]), max(value[0], value[-1])  # the rows come from the lowest
        return f"{lo}:{hi}:{abs(value.step)}"
    if isinstance(value, numbers.Integral):
        return str(int(value))
    if isinstance(value, numbers.Real):
        return repr(float(value))
    if isinstance(value, (tuple, list)):
        return ("," if len(value) == 2 else ":").join(text_of(keyword, v) for v in value)
    raise ValueError(f"{keyword}: {value!r} is not a value for this option")


def _table():
    options, dem = [], None
    for entry in _core.options():
        if entry["name"] in SKIPPED:
            continue
        if not entry["name"].startswith("-"):
            dem = entry
            continue
        options.append(Option(entry))
    return dem, options


DEM_OPTION, OPTIONS = _table()
BY_KEYWORD = {o.keyword: o for o in OPTIONS}


def arguments(values):
    """The command's arguments for the keyword arguments `values`."""
    args = []
    for keyword, value in values.items():
        option = BY_KEYWORD.get(keyword)
        if option is None:
            raise TypeError(f"unexpected keyword argument {keyword!r}")
        a = option.argument(value)
        if a is not None:
            args.append(a)
    return args


def parameters(extra_after_dem=()):
    """inspect.Parameters: the DEM, then every option (keyword only)."""
    p = [inspect.Parameter("dem", inspect.Parameter.POSITIONAL_OR_KEYWORD)]
    p += [inspect.Parameter(o.keyword, inspect.Parameter.KEYWORD_ONLY, default=o.default) for o in OPTIONS]
    p += list(extra_after_dem)
    return p


def options_doc(skip=()):
    return "\n".join(o.doc() for o in OPTIONS if o.keyword not in skip)
