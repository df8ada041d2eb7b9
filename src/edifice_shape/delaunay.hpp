// Delaunay triangulation of a point set, and interpolation on it: linear
// (the TIN of the basal surface, the envelope of the eroded volume) and
// natural neighbour (Sibson).  Built with exact predicates, the points
// inserted in lexicographic order: the same triangles on every machine.
#pragma once

#include <cstdint>
#include <vector>

#include "grid_frame.hpp"

class Delaunay {
public:
    // Points must be distinct.  Collinear (or fewer than 3) points give no
    // triangle.
    explicit Delaunay(std::vector<Vec2> points);

    struct Tri {
        int v[3];  // counter-clockwise
        int n[3];  // the triangle across the edge opposite v[k]; -1 on the hull
    };
    const std::vector<Tri>& triangles() const { return tris_; }
    const std::vector<Vec2>& points() const { return p_; }

    // Where q lies: a triangle holding it (inside or on its boundary), or -1
    // outside the hull (or with no triangle).  `hint` is a triangle to walk
    // from (the last answer for a neighbouring point).  `signs`, when given,
    // receives the orientation of q to the edge opposite each vertex.
    int locate(Vec2 q, int hint, int* signs = nullptr) const;

    // The linear interpolation of values z (one per point) at q, in the
    // triangle `t` that locate() gave.  On an edge or at a vertex it reads
    // only that edge or vertex, in an order of its own: the same value
    // whichever triangle holds q.
    double linear(Vec2 q, int t, const std::vector<double>& z, const int* signs = nullptr) const;
    // The same for q strictly inside t.
    double linear_inside(Vec2 q, int t, const std::vector<double>& z) const;
    // Where the horizontal line at height y crosses t: [x0, x1]; false when
    // it misses t or runs along one of its edges.
    bool span_at(int t, double y, double& x0, double& x1) const;

    // Sibson's natural-neighbour interpolation at q inside the hull (`t` from
    // locate()): the areas that q's Voronoi cell takes from each neighbour's.
    // On the hull's boundary, where the cell is unbounded, linear along the
    // edge.
    double natural(Vec2 q, int t, const std::vector<double>& z) const;

    // The index of the point nearest to q, the lowest index on ties.
    int nearest(Vec2 q) const;

private:
    void insert(int p, int& last);
    void legalize(int t);
    void build_nearest_index();

    std::vector<Vec2> p_;
    std::vector<Tri> tris_;
    // The hull, counter-clockwise: next and previous vertex, and the triangle
    // on the edge from each vertex to the next.
    std::vector<int> hull_next_, hull_prev_, hull_tri_;
    // Buckets of the nearest-point search.
    double bx0_ = 0, by0_ = 0, bsize_ = 1;
    int bnx_ = 0, bny_ = 0;
    std::vector<int> bstart_, bpoints_;
};

// Distinct points: sorts (x, y) lexicographically and keeps the first of
// equal points in the given order (`order` gives their original indices).
std::vector<int> distinct_points(const std::vector<Vec2>& p);
