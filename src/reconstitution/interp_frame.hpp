// The first and last steps of the cone interpolation, around its slice
// contours and its filling: shared by the program and its straightforward
// version.
#pragma once

#include "parallel.hpp"
#include "workspace.hpp"

// Start (the edifice unset in ktab), crater profile and rings, base outline,
// crater bottom line.  Returns the crater profile's length, `distance`.
int open_interpolation(Workspace& ws);

// Copy of the present relief into itab1, then the 3x3 smoothing outside the
// crater disc, never below the present relief.
void close_interpolation(Workspace& ws, int distance);

// Cells of lines 1..nb_lig-2, columns 1..nb_col-2 inside the mask with a
// 4-neighbour outside it, marked 1 in tab_co.
template <class Inside>
void mark_outline(Workspace& ws, Inside inside)
{
    parallel_rows(1, ws.nb_lig - 1, std::size_t(ws.nb_col), [&](int first, int last) {
        for (int i = first; i < last; ++i)
            for (int j = 1; j <= ws.nb_col - 2; ++j)
                if (inside(i, j) && (!inside(i - 1, j) || !inside(i, j + 1) || !inside(i + 1, j) || !inside(i, j - 1)))
                    ws.tab_co[i][j] = 1;
    });
}
