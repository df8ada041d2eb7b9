#include "dilation.hpp"

#include "reconstitution.hpp"
#include "workspace.hpp"

Dilation::Dilation(Workspace& ws) : ws_(ws), in_front_(nrutil::ucmatrice(ws.nb_col, ws.nb_lig))
{
    require_grid(bool(in_front_), "of the dilation");
    ws.itab2.copy_from(ws.ktab);
    const std::int32_t* k = ws.ktab.data();
    for (std::size_t p = 0; p < ws.ktab.size(); ++p)
        if (k[p] == unset_altitude) unset_.push_back(std::uint32_t(p));
}

void Dilation::step()
{
    const int nl = ws_.nb_lig, nc = ws_.nb_col;
    std::int32_t* g = ws_.itab2.data();  // the grid being grown
    std::int32_t* k = ws_.ktab.data();
    std::uint8_t* mark = in_front_.data();
    for (std::uint32_t u : unset_) g[u] = unset_altitude;

    // Calls f(q) for the neighbours of p in the grid: the four direct ones,
    // or all eight.
    auto neighbours = [&](std::uint32_t p, bool square, auto f) {
        const int i = int(p / std::uint32_t(nc)), j = int(p % std::uint32_t(nc));
        for (int a = i - 1; a <= i + 1; ++a) {
            if (a < 0 || a >= nl) continue;
            for (int b = j - 1; b <= j + 1; ++b) {
                if (b < 0 || b >= nc || (a == i && b == j)) continue;
                if (!square && a != i && b != j) continue;
                f(std::uint32_t(std::size_t(a) * nc + b));
            }
        }
    };

    front_.clear();
    for (std::uint32_t u : unset_) {
        bool touches = false;
        neighbours(u, true, [&](std::uint32_t q) { touches |= g[q] != unset_altitude; });
        if (touches) {
            front_.push_back(u);
            mark[u] = 1;
        }
    }

    // Growth by minimum, crosses on odd passes and squares on even ones, until
    // a pass fills nothing.
    ws_.nb_pix_mod = 1;
    for (int flag = 1; ws_.nb_pix_mod > 0; ++flag) {
        const bool square = flag % 2 == 0;
        staged_.clear();
        kept_.clear();
        for (std::uint32_t f : front_) {
            std::int32_t lowest = 9999999;
            bool any = false;
            neighbours(f, square, [&](std::uint32_t q) {
                if (g[q] == unset_altitude) return;
                any = true;
                if (g[q] < lowest) lowest = g[q];
            });
            if (any)
                staged_.push_back({f, lowest});
            else
                kept_.push_back(f);
        }
        ws_.nb_pix_mod = int(staged_.size());
        for (const auto& [f, v] : staged_) {
            g[f] = v;
            mark[f] = 0;
        }
        for (const auto& [f, v] : staged_)
            neighbours(f, true, [&](std::uint32_t q) {
                if (g[q] == unset_altitude && !mark[q]) {
                    mark[q] = 1;
                    kept_.push_back(q);
                }
            });
        front_.swap(kept_);
    }
    for (std::uint32_t f : front_) mark[f] = 0;

    // Smoothing toward the higher side: the last strictly higher direct
    // neighbour in the order above, left, right, below.
    ws_.modif = 0;
    kept_.clear();
    staged_.clear();
    for (std::uint32_t u : unset_) {
        const int i = int(u / std::uint32_t(nc)), j = int(u % std::uint32_t(nc));
        const std::int32_t v = g[u];
        bool higher = false;
        std::int32_t w = 0;
        auto look = [&](bool inside, std::uint32_t q) {
            if (inside && g[q] > v) {
                higher = true;
                w = g[q];
            }
        };
        look(i > 0, u - std::uint32_t(nc));
        look(j > 0, u - 1);
        look(j < nc - 1, u + 1);
        look(i < nl - 1, u + std::uint32_t(nc));
        if (!higher) {
            kept_.push_back(u);
            continue;
        }
        const int value = trunc_to_int(double(std::int64_t(v) + w) * 0.5 + 0.5);
        if (value == unset_altitude) {
            kept_.push_back(u);
            continue;
        }
        staged_.push_back({u, value});
    }
    for (const auto& [u, value] : staged_) {
        k[u] = value;
        ++ws_.modif;
    }
    // The grown values of the cells now set give way to their final ones.
    for (const auto& [u, value] : staged_) g[u] = value;
    unset_.swap(kept_);
}

void dilat(Workspace& ws)
{
    Dilation d(ws);
    d.step();
}
