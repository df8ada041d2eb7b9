#include <climits>

#include "dilation.hpp"
#include "reconstitution.hpp"
#include "workspace.hpp"

Dilation::Dilation(Workspace& ws) : ws_(ws), width_(ws.nb_col + 2)
{
    const std::size_t framed = std::size_t(ws.nb_lig + 2) * std::size_t(width_);
    grown_.assign(framed, unset_altitude);
    queued_.assign(framed, 1);
    for (int i = 0; i < ws.nb_lig; ++i) {
        const std::int32_t* k = ws.ktab[i];
        const std::size_t row = std::size_t(i + 1) * width_ + 1;
        for (int j = 0; j < ws.nb_col; ++j) {
            grown_[row + j] = k[j];
            queued_[row + j] = 0;
            if (k[j] == unset_altitude) unset_.push_back(std::uint32_t(row + j));
        }
    }
}

std::vector<std::uint32_t> Dilation::unset_cells() const
{
    std::vector<std::uint32_t> cells;
    cells.reserve(unset_.size());
    for (std::uint32_t u : unset_) {
        const std::uint32_t i = u / std::uint32_t(width_) - 1, j = u % std::uint32_t(width_) - 1;
        cells.push_back(i * std::uint32_t(ws_.nb_col) + j);
    }
    return cells;
}

void Dilation::set_frame(std::int32_t value)
{
    const int nl = ws_.nb_lig;
    std::int32_t* g = grown_.data();
    for (int j = 0; j < width_; ++j) g[j] = g[std::size_t(nl + 1) * width_ + j] = value;
    for (int i = 1; i <= nl; ++i) g[std::size_t(i) * width_] = g[std::size_t(i) * width_ + width_ - 1] = value;
}

void Dilation::step()
{
    std::int32_t* g = grown_.data();
    std::uint8_t* queued = queued_.data();
    const std::ptrdiff_t w = width_;
    const std::ptrdiff_t cross[4] = {-w, -1, 1, w};
    const std::ptrdiff_t square[8] = {-w - 1, -w, -w + 1, -1, 1, w - 1, w, w + 1};

    // Outside the grid counts as unset while growing.
    set_frame(unset_altitude);
    for (std::uint32_t u : unset_) g[u] = unset_altitude;
    front_.clear();
    for (std::uint32_t u : unset_) {
        bool touches = false;
        for (std::ptrdiff_t d : square) touches |= g[u + d] != unset_altitude;
        if (touches) {
            front_.push_back(u);
            queued[u] = 1;
        }
    }

    // Growth by minimum, crosses on odd passes and squares on even ones, until
    // a pass fills nothing.  Values are read from before the pass.
    ws_.nb_pix_mod = 1;
    for (int flag = 1; ws_.nb_pix_mod > 0; ++flag) {
        const std::ptrdiff_t* nb = flag % 2 == 0 ? square : cross;
        const int count = flag % 2 == 0 ? 8 : 4;
        staged_.clear();
        kept_.clear();
        for (std::uint32_t f : front_) {
            std::int32_t lowest = 9999999;
            bool any = false;
            for (int n = 0; n < count; ++n) {
                const std::int32_t v = g[f + nb[n]];
                if (v == unset_altitude) continue;
                any = true;
                if (v < lowest) lowest = v;
            }
            if (any)
                staged_.push_back({f, lowest});
            else
                kept_.push_back(f);
        }
        ws_.nb_pix_mod = int(staged_.size());
        for (const auto& [f, v] : staged_) {
            g[f] = v;
            queued[f] = 0;
        }
        for (const auto& [f, v] : staged_)
            for (std::ptrdiff_t d : square) {
                const std::uint32_t q = std::uint32_t(f + d);
                if (g[q] == unset_altitude && !queued[q]) {
                    queued[q] = 1;
                    kept_.push_back(q);
                }
            }
        front_.swap(kept_);
    }
    for (std::uint32_t f : front_) queued[f] = 0;

    // Smoothing toward the higher side: the last strictly higher direct
    // neighbour in the order above, left, right, below.  Outside the grid is
    // never higher.
    set_frame(INT_MIN);
    ws_.modif = 0;
    kept_.clear();
    staged_.clear();
    for (std::uint32_t u : unset_) {
        const std::int32_t v = g[u];
        bool higher = false;
        std::int32_t top = 0;
        for (std::ptrdiff_t d : cross)
            if (g[u + d] > v) {
                higher = true;
                top = g[u + d];
            }
        const int value = higher ? trunc_to_int(double(std::int64_t(v) + top) * 0.5 + 0.5) : unset_altitude;
        if (value == unset_altitude)
            kept_.push_back(u);
        else
            staged_.push_back({u, value});
    }
    for (const auto& [u, value] : staged_) {
        const std::uint32_t i = u / std::uint32_t(w) - 1, j = u % std::uint32_t(w) - 1;
        ws_.ktab[int(i)][int(j)] = value;
        g[u] = value;  // the grown value gives way to the final one
    }
    ws_.modif = int(staged_.size());
    unset_.swap(kept_);
}

void dilat(Workspace& ws)
{
    Dilation d(ws);
    d.step();
}
