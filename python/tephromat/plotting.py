"""The pictures of a Result, drawn with matplotlib."""

import numpy as np


def hillshade(z, cell, azimuth=315.0, altitude=45.0):
    """Grey shading (0 to 1) of the heights z (NaN without data) with cells of `cell` metres."""
    filled = np.where(np.isnan(z), np.nanmin(z) if np.isfinite(z).any() else 0.0, z)
    dy, dx = np.gradient(filled, cell)
    slope = np.pi / 2 - np.arctan(np.hypot(dx, dy))
    aspect = np.arctan2(-dx, dy)
    az, alt = np.radians(azimuth), np.radians(altitude)
    shade = np.sin(alt) * np.sin(slope) + np.cos(alt) * np.cos(slope) * np.cos(az - np.pi / 2 - aspect)
    shade = (shade + 1) / 2
    return np.where(np.isnan(z), np.nan, shade)


def _extent(r):
    gt = r.geotransform
    nl, nc = r.rebuilt.shape
    return [gt[0], gt[0] + nc * gt[1], gt[3] + nl * gt[5], gt[3]]


def _axes(ax, figsize=(7, 6)):
    import matplotlib.pyplot as plt

    if ax is None:
        fig, ax = plt.subplots(figsize=figsize)
    return ax.figure, ax


def _map(r, ax, title):
    if r.rebuilt is None:
        raise ValueError("this run has no grids (a dry run, a base sweep, or a run with out=: its grids are "
                         "the GeoTIFFs it wrote)")
    fig, ax = _axes(ax)
    ax.set_title(title)
    ax.set_xlabel("x (m)")
    ax.set_ylabel("y (m)")
    ax.set_aspect("equal")
    ax.ticklabel_format(useOffset=False, style="plain")
    return fig, ax


def _relief(r, ax):
    if r.rebuilt is None:  # before the title, which reads the summary
        _map(r, ax, "")
    fig, ax = _map(r, ax, f"{r.name}: present relief, edifice above {r.summary['base_m']:g} m")
    z = r.dem()
    z = z if z is not None else r.rebuilt
    cell = r.geotransform[1]
    extent = _extent(r)
    ax.imshow(hillshade(z, cell), cmap="gray", extent=extent, vmin=0, vmax=1, interpolation="nearest")
    nl, nc = z.shape
    x = r.geotransform[0] + (np.arange(nc) + 0.5) * r.geotransform[1]
    y = r.geotransform[3] + (np.arange(nl) + 0.5) * r.geotransform[5]
    ax.contour(x, y, r.edifice.astype(float), levels=[0.5], colors="tab:red", linewidths=1.5)
    if r.contours is not None and len(r.contours):
        levels = sorted(set(r.contours["level_m"].dropna()))
        inside = np.where(r.edifice, z, np.nan)
        if levels and np.isfinite(inside).any():
            ax.contour(x, y, inside, levels=levels, colors="tab:blue", linewidths=0.6)
    s = r.summary
    cx, cy = s.get("centre_x"), s.get("centre_y")
    if cx is None:
        cx = x[s["centre_column"]]
        cy = y[s["centre_line"]]
    ax.plot([cx], [cy], "+", color="yellow", markersize=12, mew=2, label="centre")
    for radius, style in ((s.get("crater_radius_min_m"), ":"), (s.get("crater_radius_max_m"), "--")):
        if radius:
            t = np.linspace(0, 2 * np.pi, 200)
            ax.plot(cx + radius * np.cos(t), cy + radius * np.sin(t), style, color="orange", lw=1.2)
    from matplotlib.lines import Line2D

    ax.legend(handles=[Line2D([], [], color="tab:red", label="edifice outline"),
                       Line2D([], [], color="tab:blue", lw=0.6, label="contours"),
                       Line2D([], [], color="orange", ls="--", label="crater radii"),
                       Line2D([], [], color="yellow", marker="+", ls="", label="centre")], loc="lower right",
              fontsize=8)
    return fig


def _erosion(r, ax):
    fig, ax = _map(r, ax, f"{r.name}: erosion thickness over the rebuilt cone")
    extent = _extent(r)
    ax.imshow(hillshade(r.rebuilt, r.geotransform[1]), cmap="gray", extent=extent, vmin=0, vmax=1)
    e = np.where(r.erosion > 0, r.erosion, np.nan)
    im = ax.imshow(e, cmap="viridis", extent=extent, alpha=0.85)
    fig.colorbar(im, ax=ax, label="erosion thickness (m)")
    return fig


def _slope(r, ax):
    fig, ax = _map(r, ax, f"{r.name}: slope of the present relief")
    im = ax.imshow(r.slope, cmap="magma", extent=_extent(r))
    fig.colorbar(im, ax=ax, label="slope (degrees)")
    return fig


def _sweep(r, ax):
    t = r if not hasattr(r, "base_sweep") else r.base_sweep
    if t is None:
        raise ValueError("this run has no base sweep: measure with base_sweep=, or use tephromat.base_sweep")
    import matplotlib.pyplot as plt

    fig, axes = plt.subplots(3, 1, sharex=True, figsize=(7, 8)) if ax is None else (ax[0].figure, ax)
    base = t["base_m"]
    axes[0].plot(base, t["volume_km3"], "o-", label="present volume")
    axes[0].plot(base, t["eroded_volume_km3"], "o-", label="eroded volume")
    axes[0].set_ylabel("volume (km³)")
    axes[0].legend()
    axes[1].plot(base, t["height_m"], "o-", color="tab:green")
    axes[1].set_ylabel("height (m)")
    width = 2 * np.sqrt(t["surface_2d_km2"] * 1e6 / np.pi)
    axes[2].plot(base, width, "o-", color="tab:purple")
    axes[2].set_ylabel("basal width W (m)")
    axes[2].set_xlabel("base line (m)")
    warn = t["warnings"].fillna("").astype(str)
    open_ = warn.str.contains("border") | warn.str.contains("nodata")
    step = float(np.diff(base).min()) if len(base) > 1 else 1.0
    for a in axes:
        for b in base[open_]:
            a.axvspan(b - step / 2, b + step / 2, color="0.88", zorder=0)
    axes[0].set_title("the figures against the base line (shaded: edifice open)")
    return fig


def _slices(r, ax):
    if r.slices is None:
        raise ValueError("this run has no slice table")
    fig, ax = _axes(ax, (6, 5))
    t = r.slices
    ax.plot(t["Surface (m2)"], t["Altitud (m)"], "-", color="tab:blue")
    ax.set_xlabel("surface of the slice (m²)")
    ax.set_ylabel("altitude (m)")
    ax.set_title(f"{r.name}: the slices of the present edifice")
    return fig


KINDS = {"relief": _relief, "erosion": _erosion, "slope": _slope, "sweep": _sweep, "slices": _slices}


def plot(r, kind="relief", ax=None):
    if kind not in KINDS:
        raise ValueError(f"kind: {kind!r} is not one of {', '.join(KINDS)}")
    return KINDS[kind](r, ax)


def sweep_figure(table, ax=None):
    """The figures of a base-sweep DataFrame (tephromat.base_sweep's) against the base line."""
    return _sweep(table, ax)
