#include <cstdint>
#include <vector>

#include "parallel.hpp"
#include "slices.hpp"
#include "workspace.hpp"

// Whole-number sums: the same in any order, added up line by line on all
// threads.
void gravity_center(Workspace& ws)
{
    struct Sums {
        std::int64_t count = 0, sum_i = 0, sum_j = 0;
    };
    std::vector<Sums> lines(std::size_t(ws.nb_lig > 0 ? ws.nb_lig : 0));
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            Sums& s = lines[std::size_t(i)];
            for (int j = 0; j < ws.nb_col; ++j) {
                bool in = ws.flag_gc == 2 ? ws.tab_pl[i][j] == 1 : ws.tab[i][j] == 1;
                if (in) {
                    s.sum_i += i;
                    s.sum_j += j;
                    ++s.count;
                }
            }
        }
    });
    std::int64_t count = 0, sum_i = 0, sum_j = 0;
    for (const Sums& s : lines) {
        count += s.count;
        sum_i += s.sum_i;
        sum_j += s.sum_j;
    }
    if (count == 0) return;
    int ci = int(sum_i / count), cj = int(sum_j / count);
    if (ws.flag_gc == 0) {
        ws.i_gv = ci;
        ws.j_gv = cj;
    } else {
        ws.i_gc = ci;
        ws.j_gc = cj;
    }
}
