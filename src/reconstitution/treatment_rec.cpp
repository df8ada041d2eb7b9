#include <algorithm>
#include <vector>

#include "reconstitution.hpp"
#include "workspace.hpp"

// The slice at k counts the cells of the edifice at or above k: one histogram
// of the rebuilt altitudes gives every slice.
void treatment_rec(Workspace& ws)
{
    double volume = 0;
    ws.pixsurf = ws.dsizepix * ws.dsizepix;
    const long long first = static_cast<long long>(ws.base) + 1, last = ws.altmax;
    std::vector<int> at_or_above(last >= first ? std::size_t(last - first + 1) : 0, 0);
    for (std::size_t p = 0; p < ws.tab.size() && last >= first; ++p) {
        if (ws.tab.data()[p] != 1) continue;
        const long long z = ws.itab.data()[p];
        if (z >= first) ++at_or_above[std::size_t(std::min(z, last) - first)];
    }
    for (std::size_t n = at_or_above.size(); n-- > 1;) at_or_above[n - 1] += at_or_above[n];
    for (long long k = first; k <= last; ++k) {
        const int val = at_or_above[std::size_t(k - first)];
        ws.say("\tNumber of pixels in the slice %d = %d     \r  ", int(k), val);
        volume += val * ws.pixsurf * ws.high;
    }
    ws.both("\n\n\tGLOBAL VOLUME = %9.3lf km3", volume * 1e-9);
    const double difvol = volume * 1e-9 - ws.first_volume;
    ws.say("\n\n\tVolumetric difference = %lf km3", difvol);
    ws.figures.rebuilt_volume = volume * 1e-9;
    ws.figures.volumetric_difference = difvol;
}
