// tephromat_edifice_bench [size]: times the edifice-shape measures alone
// (measure_edifice, horizontal base, default options) on the benchmark's
// synthetic volcano, wall and CPU seconds, on all threads and on one.  Run
// by hand; the whole program's share shows in tephromat_bench's stage
// "edifice_shape".
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <utility>
#include <vector>

#include "edifice_shape.hpp"
#include "parallel.hpp"
#include "synthetic_dem.hpp"

namespace {

double cpu_seconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

}  // namespace

int main(int argc, char** argv)
{
    // As the program does: large blocks go back to the system when freed.
    mallopt(M_MMAP_THRESHOLD, 256 * 1024);
    const int size = argc > 1 ? std::atoi(argv[1]) : 4096;
    if (!known_size(size)) {
        std::fprintf(stderr, "unknown size %d\n", size);
        return 1;
    }
    const Volcano v = make_volcano(size);
    nrutil::DGrid z(size, size);
    nrutil::UcGrid item(size, size), nodata;
    for (int i = 0; i < size; ++i)
        for (int j = 0; j < size; ++j) z[i][j] = v.cm[std::size_t(i) * std::size_t(size) + std::size_t(j)] / 100.0;
    // The edifice: the 8-connected cells at or above the base line (whole
    // metres) round the centre, line 0 and column 0 left out as the dialogue's
    // labelling does.
    std::vector<std::pair<int, int>> todo{{v.centre_line, v.centre_col}};
    item[v.centre_line][v.centre_col] = 1;
    for (std::size_t k = 0; k < todo.size(); ++k)
        for (int a = todo[k].first - 1; a <= todo[k].first + 1; ++a)
            for (int b = todo[k].second - 1; b <= todo[k].second + 1; ++b)
                if (a > 0 && b > 0 && a < size && b < size && !item[a][b] && int(z[a][b]) >= v.base) {
                    item[a][b] = 1;
                    todo.emplace_back(a, b);
                }
    EdificeInput in;
    in.z = &z;
    in.nodata = &nodata;
    in.frame = {size, size, v.pixel, 0, 0};
    in.item = &item;
    in.base = v.base;
    in.centre_i = v.centre_line;
    in.centre_j = v.centre_col;
    in.crater_found = true;
    std::printf("%d x %d, edifice of %zu cells\n", size, size, todo.size());
    for (int threads : {0, 1}) {
        set_thread_count(threads);
        const double c0 = cpu_seconds();
        const auto t0 = std::chrono::steady_clock::now();
        const EdificeShape s = measure_edifice(in, MorphometryOptions{});
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        std::printf("%d thread(s): %.3f s wall, %.3f s CPU (%zu contour levels)\n", thread_count(), wall,
                    cpu_seconds() - c0, s.contours.size());
    }
    return 0;
}
