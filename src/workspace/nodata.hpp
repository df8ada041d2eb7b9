// Cells without data: how the stages recognise them and the values that mark
// them in the output DEMs.
#pragma once

#include <cstdint>
#include <vector>

#include "parallel.hpp"

#include "workspace.hpp"

// True on a cell without data; always false for a DEM that has none.
inline bool without_data(const Workspace& ws, int i, int j)
{
    return ws.nodata_cells != 0 && ws.nodata[i][j] != 0;
}
inline bool without_data(const Workspace& ws, std::size_t cell)
{
    return ws.nodata_cells != 0 && ws.nodata.data()[cell] != 0;
}

// The ESRI outputs declare this value in their header; their cells without
// data hold it.  GDAL reads these grids as 32-bit floats, where it becomes
// -10000 on both sides of the comparison.
constexpr double esri_nodata = -9999.9999;
// Raw outputs.  Signed 32-bit: the lowest value, far below any altitude in
// any unit.  Unsigned 16-bit: the highest, the usual choice for this type.
// Shaded images: 255, which the grey scale (0 to 254) never reaches.
constexpr std::int32_t raw32_nodata = INT32_MIN;
constexpr std::uint16_t raw16_nodata = 65535;
constexpr std::uint8_t shaded_nodata = 255;

// Least and greatest value of a grid over its cells with data, scanned on all
// threads (the result does not depend on the order); false when every cell is
// without data (lo and hi are then left as they are).
template <class T>
bool extremes_with_data(const Workspace& ws, const nrutil::Grid<T>& g, T& lo, T& hi)
{
    const int nl = g.lines(), nc = g.columns();
    struct Line {
        bool any = false;
        T lo{}, hi{};
    };
    std::vector<Line> lines(std::size_t(nl > 0 ? nl : 0));
    parallel_rows(0, nl, std::size_t(nc), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            Line& l = lines[std::size_t(i)];
            const T* p = g[i];
            if (ws.nodata_cells == 0 && nc > 0) {  // every cell: a plain scan
                T lo = p[0], hi = p[0];
                for (int j = 1; j < nc; ++j) {
                    if (p[j] < lo) lo = p[j];
                    if (p[j] > hi) hi = p[j];
                }
                l = {true, lo, hi};
                continue;
            }
            for (int j = 0; j < nc; ++j) {
                if (without_data(ws, i, j)) continue;
                if (!l.any || p[j] < l.lo) l.lo = p[j];
                if (!l.any || p[j] > l.hi) l.hi = p[j];
                l.any = true;
            }
        }
    });
    bool any = false;
    for (const Line& l : lines) {
        if (!l.any) continue;
        if (!any || l.lo < lo) lo = l.lo;
        if (!any || l.hi > hi) hi = l.hi;
        any = true;
    }
    return any;
}
