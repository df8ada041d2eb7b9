// Grid and vector allocators of the run workspace.
//
// A grid is nb_lig lines of nb_col elements in one contiguous, zero-filled
// block, addressed g[i][j] (line i, column j).  The allocators keep their
// historical names and argument order: columns first, lines second.  A grid
// that could not be obtained is empty (!g) rather than null.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace nrutil {

template <class T>
class Grid {
public:
    Grid() = default;
    Grid(int nb_col, int nb_lig) { allocate(nb_col, nb_lig); }
    Grid(const Grid&) = delete;
    Grid& operator=(const Grid&) = delete;
    Grid(Grid&& o) noexcept { swap(o); }
    Grid& operator=(Grid&& o) noexcept
    {
        Grid tmp(std::move(o));
        swap(tmp);
        return *this;
    }
    ~Grid() { std::free(data_); }

    // calloc keeps untouched pages out of the resident set: a grid that a run
    // never writes costs no memory.
    bool allocate(int nb_col, int nb_lig)
    {
        std::free(data_);
        data_ = nullptr;
        lig_ = col_ = 0;
        if (nb_col < 0 || nb_lig < 0) return false;
        std::size_t n = std::size_t(nb_col) * std::size_t(nb_lig);
        data_ = static_cast<T*>(std::calloc(n ? n : 1, sizeof(T)));
        if (!data_) return false;
        lig_ = nb_lig;
        col_ = nb_col;
        return true;
    }

    explicit operator bool() const { return data_ != nullptr; }
    int lines() const { return lig_; }
    int columns() const { return col_; }
    std::size_t size() const { return std::size_t(lig_) * std::size_t(col_); }

    T* operator[](int i) { return data_ + std::size_t(i) * std::size_t(col_); }
    const T* operator[](int i) const { return data_ + std::size_t(i) * std::size_t(col_); }
    T& operator()(int i, int j) { return (*this)[i][j]; }
    const T& operator()(int i, int j) const { return (*this)[i][j]; }
    T* data() { return data_; }
    const T* data() const { return data_; }

    void fill(T v)
    {
        T* p = data_;
        for (std::size_t k = 0, n = size(); k < n; ++k) p[k] = v;
    }
    void copy_from(const Grid& o) { std::memcpy(data_, o.data_, size() * sizeof(T)); }

    void swap(Grid& o) noexcept
    {
        std::swap(data_, o.data_);
        std::swap(lig_, o.lig_);
        std::swap(col_, o.col_);
    }

private:
    T* data_ = nullptr;
    int lig_ = 0;
    int col_ = 0;
};

using UcGrid = Grid<std::uint8_t>;
using UsGrid = Grid<std::uint16_t>;
using IGrid = Grid<std::int32_t>;
using DGrid = Grid<double>;

UcGrid ucmatrice(int nb_col, int nb_lig);
UsGrid usmatrice(int nb_col, int nb_lig);
IGrid imatrice(int nb_col, int nb_lig);
DGrid dmatrice(int nb_col, int nb_lig);

// A zero-filled vector of nb_col integers, v[k].
class IVector {
public:
    IVector() = default;
    explicit IVector(int n) : g_(n, 1) {}
    explicit operator bool() const { return bool(g_); }
    int size() const { return g_.columns(); }
    std::int32_t& operator[](int k) { return g_.data()[k]; }
    const std::int32_t& operator[](int k) const { return g_.data()[k]; }

private:
    Grid<std::int32_t> g_;
};

IVector ivecteur(int nb_col);

}  // namespace nrutil
