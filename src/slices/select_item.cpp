#include <algorithm>
#include <vector>

#include "nodata.hpp"
#include "parallel.hpp"
#include "slices.hpp"
#include "workspace.hpp"

void select_basal_item(Workspace& ws)
{
    const std::int32_t* it = ws.itab.data();
    std::int32_t* t1 = ws.tab1.data();
    std::vector<int> line_count(std::size_t(ws.nb_lig));
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        for (int i = first; i < last; ++i) {
            int n = 0;
            for (std::size_t k = std::size_t(i) * ws.nb_col, end = k + ws.nb_col; k < end; ++k) {
                t1[k] = it[k] >= ws.base && !without_data(ws, k) ? 1 : 0;
                n += t1[k];
            }
            line_count[std::size_t(i)] = n;
        }
    });
    int count = 0;
    for (int n : line_count) count += n;
    ws.say("\n\tNumber of pixels in the former basic slice = %d \n", count);
    ws.nb_pix_bin = count;

    ws.num = 0;
    init_vect(ws);
    suiv_formes(ws);

    if (ws.num == 1) {
        ws.say("\n\tOnly one zone located upper the base line ");
        ws.report("\n\n\tOnly one zone located upper the base line ");
    } else if (ws.num < 10) {
        ws.say("\n\tNumber of items located upper the base line = %d ", ws.num);
        ws.report("\n\n\tNumber of items located upper the base line = %d ", ws.num);
    } else {
        ws.say("\n\tNumber of items = %d ", ws.num - 1);
        ws.say("\n\n\tCaution : the value 10 is not atributed ");
        ws.say("\n\tas this value corresponds to an order system ");
        ws.report("\n\n\tNumber of items = %d ", ws.num - 1);
        ws.report("\n\n\tCaution : the value 10 is not affected ");
        ws.report("\n\tas this value corresponds to an order system ");
    }

    ws.figures.items = ws.num < 10 ? ws.num : ws.num - 1;

    ws.val_base = ws.tab1[ws.i_gv][ws.j_gv];
    ws.both("\n\n\tChosen item = %d ", ws.val_base);
    // Label 0 is the land below the base line and whatever the labelling
    // drops: no edifice to measure.
    if (ws.val_base == 0)
        fail(cfmt("the centre point (line %d, column %d) lies on no item above the base line (%d m) : type a "
                  "centre on the edifice or choose a lower base line",
                  ws.i_gv, ws.j_gv, ws.base));
    std::uint8_t* t = ws.tab.data();
    parallel_rows(0, ws.nb_lig, std::size_t(ws.nb_col), [&](int first, int last) {
        for (std::size_t k = std::size_t(first) * ws.nb_col, end = std::size_t(last) * ws.nb_col; k < end; ++k)
            t[k] = t1[k] == ws.val_base ? 1 : 0;
    });
    if (ws.val_base != 0) {
        const int touched = cells_without_data_touching(ws, ws.tab);
        if (touched > 0)
            ws.both("\n\tWarning : the edifice touches %d cells without data : its measures near them are uncertain ",
                    touched);
    }
}

int cells_without_data_touching(const Workspace& ws, const nrutil::UcGrid& item)
{
    if (ws.nodata_cells == 0) return 0;
    const int nl = ws.nb_lig, nc = ws.nb_col;
    int count = 0;
    for (int i = 0; i < nl; ++i)
        for (int j = 0; j < nc; ++j) {
            if (!ws.nodata[i][j]) continue;
            bool touches = false;
            for (int a = std::max(i - 1, 0); a <= std::min(i + 1, nl - 1) && !touches; ++a)
                for (int b = std::max(j - 1, 0); b <= std::min(j + 1, nc - 1); ++b)
                    if (item[a][b] == 1) {
                        touches = true;
                        break;
                    }
            count += touches;
        }
    return count;
}

// The slice keeps the item under the centre point; when the centre lies below
// the slice (a crater floor) it keeps every piece of the edifice at or above k.
// A centre whose own piece is not an item (a lone cell) gives an empty slice.
void select_slice_item(Workspace& ws, int k)
{
    const std::size_t cells = ws.tab1.size();
    const std::int32_t* it = ws.itab.data();
    const std::uint8_t* t = ws.tab.data();
    std::int32_t* t1 = ws.tab1.data();
    std::int32_t* pl = ws.tab_pl.data();
    for (std::size_t p = 0; p < cells; ++p) t1[p] = (it[p] >= k && t[p] == 1) ? 1 : 0;

    if (ws.tab1[ws.i_gv][ws.j_gv] == 1) {
        ws.num = 0;
        suiv_formes(ws);
        const std::int32_t val_center = ws.tab1[ws.i_gv][ws.j_gv];
        for (std::size_t p = 0; p < cells; ++p)
            pl[p] = (val_center != 0 && t1[p] == val_center && t[p] == 1) ? 1 : 0;
    } else {
        ws.tab_pl.copy_from(ws.tab1);
    }
}
