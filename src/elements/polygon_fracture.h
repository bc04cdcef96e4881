// Cuts a polygon of any vertex count into pieces of at most a given count
// whose union is the polygon's region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

struct FracturePoint {
    std::int64_t x;
    std::int64_t y;
};

// The pieces' vertices, one piece after another; piece i is the vertices
// starts[i] to starts[i + 1] - 1 (all of them within 32 bits: a cut point
// lies between the ends of its edge). Kept by the writer so that the
// buffers are reused from one polygon to the next.
struct FracturedPolygon {
    std::vector<std::int32_t> xs;
    std::vector<std::int32_t> ys;
    std::vector<std::size_t> starts;
    void clear() {
        xs.clear();
        ys.clear();
        starts.clear();
    }
    std::size_t pieces() const { return starts.empty() ? 0 : starts.size() - 1; }
};

// Fractures the simple polygon xs/ys (n vertices, either orientation,
// repeated and collinear vertices allowed) into pieces of at most limit
// vertices (limit >= 8). Each cut is an axis-parallel line at an integer
// coordinate; a point where the line crosses an edge is rounded to the
// nearest grid point, which moves that edge by at most half a unit, and the
// pieces on both sides share it, so they leave no gap and overlap nowhere.
// Returns false when the pieces do not get smaller (a self-overlapping
// outline squeezed into a cell of one unit), with out unspecified.
bool fracturePolygon(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                     std::size_t limit, FracturedPolygon& out);

}  // namespace quillon
