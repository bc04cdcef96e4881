// Cuts a polygon of any vertex count, holes included, into pieces of at
// most a given count whose union is the polygon's region.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

// The pieces' vertices, one piece after another; piece i is the vertices
// starts[i] to starts[i + 1] - 1 (all of them within 32 bits: a cut point
// lies between the ends of its edge). Kept by the writer so that the
// buffers are reused from one polygon to the next; release() gives a large
// one's memory back.
struct FracturedPolygon {
    std::vector<std::int32_t> xs;
    std::vector<std::int32_t> ys;
    std::vector<std::size_t> starts;
    void clear() {
        xs.clear();
        ys.clear();
        starts.clear();
    }
    void release() {
        std::vector<std::int32_t>().swap(xs);
        std::vector<std::int32_t>().swap(ys);
        std::vector<std::size_t>().swap(starts);
    }
    std::size_t pieces() const { return starts.empty() ? 0 : starts.size() - 1; }
};

enum class FractureResult {
    pieces,      // out holds the pieces
    noArea,      // the outline encloses nothing: out is empty
    notCuttable, // a piece of more than limit vertices within a 2-by-2 unit cell
    crossing     // two of several rings cross (or one crosses itself): out is empty
};

// Fractures a region given by rings: ring r is the ringSizes[r] vertices of
// xs/ys that follow ring r - 1's. The region is what the rings enclose with
// even-odd fill: an outline, its holes, islands in the holes and so on.
// Rings may touch at points and along edges (a ring that coincides with
// another cancels it); several must not cross one another or themselves,
// which is found and reported as crossing. One ring alone may be any
// outline, self-crossing included. Repeated and collinear vertices are
// allowed, either orientation anywhere. Time n log n in the vertices for
// the nesting of the rings.
//
// Every piece has at most limit vertices (limit >= 8), no hole, no
// repeated vertex and no zero-width part. Each cut is an axis-parallel line
// at an integer coordinate. Where it crosses an edge, the crossing is
// computed exactly on the input's own edge, however many cuts came before,
// and rounded to the nearest grid point: every piece vertex lies within
// half a unit of the input outline, and the pieces on both sides of a cut
// share each such point, so they leave no gap and overlap nowhere.
FractureResult fracturePolygon(const std::int32_t* xs, const std::int32_t* ys,
                               const std::size_t* ringSizes, std::size_t ringCount,
                               std::size_t limit, FracturedPolygon& out);

}  // namespace quillon
