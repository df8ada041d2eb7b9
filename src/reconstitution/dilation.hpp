// The dilation of the rebuilt cone, kept between its calls.
//
// dilat() regrows the whole grid on every call: unset cells take the smallest
// set neighbour, crosses on odd passes and squares on even ones, until a pass
// fills nothing; then unset cells move halfway toward a higher neighbour.  The
// interpolation calls it again and again while few cells change from one call
// to the next.  Here each unset cell keeps the pass at which the growth reaches
// it (`pass`, as if the growth never stopped) and the value it takes then;
// when cells get set, only the passes and values that they change are
// repaired, and only the cells next to a change are smoothed again.  The
// growth's stop at the first pass that fills nothing is applied when the
// smoothing reads the grown values.  The grids cover only the window of ktab
// around its unset cells (the edifice, often a small part of the DEM).  Every call sets exactly the cells, to
// exactly the values, that dilat() sets.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

struct Workspace;

class Dilation {
public:
    explicit Dilation(Workspace& ws);
    // One call of dilat(): sets modif (and nb_pix_mod, 0 at the end).
    void step();
    // Number of cells of ktab still unset.
    std::size_t unset_count() const { return unset_count_; }
    // Cells of ktab still unset, as indices i * nb_col + j in scan order.
    std::vector<std::uint32_t> unset_cells() const;

private:
    void grow_all();
    void repair();
    void count_passes();
    int stop_pass() const;
    std::int32_t grown(std::uint32_t q) const;
    void smooth(const std::vector<std::uint32_t>& cells);

    // ktab's cell at framed index u.
    std::int32_t& ktab_at(std::uint32_t u) const;

    Workspace& ws_;
    // The framed grids cover the window of ktab from line i0_, column j0_
    // that holds every unset cell and its neighbours, with a frame around it.
    int i0_ = 0, j0_ = 0;
    int width_ = 0;                      // columns of the framed grids
    // A cell's pass and value side by side: working out a cell reads both
    // of its neighbours', which then come in one cache line, not two.
    struct Reach {
        std::int32_t pass;   // 0 set, else growth pass
        std::int32_t value;  // set value, or grown value
    };
    std::unique_ptr<Reach[]> cell_;          // framed
    std::unique_ptr<std::uint8_t[]> mark_;   // framed scratch flags
    std::vector<std::uint32_t> unset_;   // framed indices in scan order (some may be set since)
    std::size_t unset_count_ = 0;
    std::vector<std::int64_t> per_pass_; // unset cells reached at each pass
    int stop_ = 1;                       // first pass that fills nothing
    bool first_ = true;
    std::vector<std::uint32_t> fresh_, changed_, candidates_;
    std::vector<std::pair<std::uint32_t, std::int32_t>> staged_;
    std::vector<std::vector<std::uint32_t>> buckets_;
};
