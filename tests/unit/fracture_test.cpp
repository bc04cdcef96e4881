// Polygon fracturing against an exact oracle of its own: at sample points
// farther than half a unit from the input outline, exactly one piece holds
// each point inside the region and none holds a point outside (no gap, no
// overlap); every piece vertex lies within half a unit of the outline; every
// piece is a simple ring of at most the limit's vertices; for rectilinear
// input the pieces' areas add up to the region's exactly.
#include "elements/polygon_fracture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace {

using quillon::FracturedPolygon;
using quillon::FractureResult;
using Ring = std::vector<std::pair<std::int64_t, std::int64_t>>;

struct Shape {
    std::string name;
    std::vector<Ring> rings;  // even-odd
    std::size_t limit;
    bool rectilinear;
    std::size_t mostPieces;  // 0: no bound checked
    double area = -1;        // the even-odd area the pieces add up to, when known
};

Ring box(std::int64_t x0, std::int64_t y0, std::int64_t x1, std::int64_t y1) {
    return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}};
}

Ring reversed(Ring r) {
    std::reverse(r.begin(), r.end());
    return r;
}

// A 100 by 100 square with a 20 by 20 hole, drawn as one outline whose
// bridge runs along y = 60.
Ring keyhole() {
    return {{0, 0}, {100, 0}, {100, 100}, {0, 100}, {0, 60},
            {60, 60}, {60, 40}, {40, 40}, {40, 60}, {0, 60}};
}

// A band 2 to 3 units wide along the slanted edge from (0, 0) to
// (1000000, 618034), its other side a zigzag.
Ring thinBand(std::size_t zigzag, double dx, double dy, std::uint32_t seed) {
    std::mt19937 random(seed);
    const double length = std::hypot(dx, dy), nx = -dy / length, ny = dx / length;
    Ring r{{0, 0}, {static_cast<std::int64_t>(dx), static_cast<std::int64_t>(dy)}};
    for (std::size_t i = zigzag; i-- > 0;) {
        const double t = (i + 0.5) / zigzag, offset = (i % 2 ? 2.0 : 3.0) + (random() % 3) * 0.1;
        r.push_back({std::llround(t * dx + offset * nx), std::llround(t * dy + offset * ny)});
    }
    return r;
}

Ring sawtooth(std::size_t teeth, std::int64_t pitch, std::int64_t height) {
    Ring r{{0, 0}, {static_cast<std::int64_t>(teeth) * pitch, 0}};
    for (std::size_t i = teeth; i-- > 0;) {
        r.push_back({static_cast<std::int64_t>(i) * pitch + pitch, height + 10});
        r.push_back({static_cast<std::int64_t>(i) * pitch + pitch / 2, 10});
    }
    return r;
}

Ring comb(std::size_t teeth, std::int64_t width, std::int64_t gap) {
    Ring r{{0, 0}, {static_cast<std::int64_t>(teeth) * (width + gap), 0}};
    for (std::size_t t = teeth; t-- > 0;) {
        const std::int64_t x = static_cast<std::int64_t>(t) * (width + gap);
        r.insert(r.end(), {{x + width, 5}, {x + width, 300}, {x, 300}, {x, 5}});
    }
    return r;
}

Ring regular(std::size_t n, double r, double cx, double cy) {
    Ring out;
    for (std::size_t i = 0; i < n; ++i) {
        const double a = 6.283185307179586 * i / n;
        out.push_back({std::llround(cx + r * std::cos(a)), std::llround(cy + r * std::sin(a))});
    }
    return out;
}

std::vector<Shape> shapes() {
    std::vector<Shape> s;
    for (std::size_t limit : {8u, 199u, 4094u}) {
        s.push_back({"keyhole_ccw_" + std::to_string(limit), {keyhole()}, limit, true, 0});
        s.push_back({"keyhole_cw_" + std::to_string(limit), {reversed(keyhole())}, limit, true, 0});
    }
    s.push_back({"thin_band", {thinBand(19998, 1000000, 618034, 1)}, 199, false, 0});
    for (std::uint32_t seed = 2; seed < 6; ++seed) {
        std::mt19937 random(seed);
        const double angle = 0.05 + (random() % 1000) * 0.0014;
        s.push_back({"thin_band_random_" + std::to_string(seed),
                     {thinBand(2000 + random() % 3000, 4e5 * std::cos(angle), 4e5 * std::sin(angle), seed)},
                     8 + random() % 200, false, 0});
    }
    // About N / (limit - k) pieces: 20,002 vertices at 199 in about 108.
    s.push_back({"sawtooth", {sawtooth(10000, 40, 1000)}, 199, false, 120});
    s.push_back({"comb_of_one_unit_teeth", {comb(300, 1, 1)}, 199, true, 0});
    // Holes given as rings, either orientation, an island in a hole, a
    // hole touching the outline at a vertex and one touching another hole.
    s.push_back({"holes", {box(0, 0, 1000, 1000), box(100, 100, 300, 300),
                           reversed(box(400, 100, 600, 300)), box(700, 700, 900, 900),
                           box(750, 750, 850, 850), box(600, 100, 650, 300),
                           box(650, 300, 700, 350), box(0, 450, 50, 550)},
                 8, true, 0});
    s.push_back({"hole_touching_the_outline", {box(0, 0, 1000, 1000), {{0, 500}, {200, 450}, {200, 550}}},
                 8, false, 0});
    s.push_back({"ring_with_round_hole", {regular(500, 50000, 0, 0), regular(400, 40000, 3000, 0)}, 199, false, 0});
    std::vector<Ring> plate{box(0, 0, 2000, 2000)};
    for (int i = 0; i < 20; ++i) {
        for (int j = 0; j < 20; ++j) plate.push_back(box(50 + 100 * i, 50 + 100 * j, 90 + 100 * i, 90 + 100 * j));
    }
    s.push_back({"perforated_plate", plate, 199, true, 0});
    // Rings that touch, judged by their even-odd area.
    const Ring diamond{{50, 0}, {100, 50}, {50, 100}, {0, 50}};
    for (std::size_t limit : {8u, 199u}) {
        s.push_back({"diamond_hole_touching_the_sides", {box(0, 0, 100, 100), diamond}, limit, false, 0, 5000});
    }
    s.push_back({"triangles_hanging_from_the_top", {box(0, 0, 1000, 1000), {{100, 1000}, {200, 1000}, {150, 950}},
                 {{300, 1000}, {400, 1000}, {350, 950}}}, 8, false, 0, 995000});
    std::vector<Ring> board{box(0, 0, 140, 140)};
    for (int i = 0; i < 12; ++i) {
        for (int j = i % 2; j < 12; j += 2) board.push_back(box(10 + 10 * i, 10 + 10 * j, 20 + 10 * i, 20 + 10 * j));
    }
    s.push_back({"checkerboard_of_holes_touching_at_corners", board, 199, false, 0, 12400});
    s.push_back({"hole_along_the_outline", {box(0, 0, 100, 100), box(0, 20, 30, 80)}, 8, false, 0, 8200});
    s.push_back({"holes_sharing_an_edge", {box(0, 0, 100, 100), box(10, 10, 50, 50), box(50, 10, 90, 50)}, 8,
                 false, 0, 6800});
    s.push_back({"island_touching_its_hole", {box(0, 0, 100, 100), box(20, 20, 80, 80),
                 {{50, 20}, {80, 50}, {50, 80}, {20, 50}}}, 8, false, 0, 8200});
    // Cuts leave a part equal to a hole in an island's strip: they cancel.
    s.push_back({"hole_filling_a_strip_of_an_island", {box(0, 0, 64, 64), box(0, 48, 48, 64), box(0, 56, 36, 60),
                 box(27, 59, 36, 60), box(0, 57, 36, 59), box(18, 59, 27, 60)}, 20, false, 0, 3382});
    s.push_back({"keyhole_and_a_hole_on_its_side", {keyhole(), box(0, 70, 20, 90)}, 8, false, 0, 9200});
    s.push_back({"a_hole_twice_cancels", {box(0, 0, 100, 100), box(20, 20, 80, 80), reversed(box(20, 20, 80, 80))},
                 8, false, 0, 10000});
    return s;
}

struct Pieces {
    std::vector<Ring> rings;
};

Pieces fracture(const Shape& shape, FractureResult& result) {
    std::vector<std::int32_t> xs, ys;
    std::vector<std::size_t> sizes;
    for (const Ring& r : shape.rings) {
        for (const auto& p : r) {
            xs.push_back(static_cast<std::int32_t>(p.first));
            ys.push_back(static_cast<std::int32_t>(p.second));
        }
        sizes.push_back(r.size());
    }
    FracturedPolygon out;
    result = quillon::fracturePolygon(xs.data(), ys.data(), sizes.data(), sizes.size(), shape.limit, out);
    Pieces pieces;
    for (std::size_t i = 0; i < out.pieces(); ++i) {
        Ring r;
        for (std::size_t k = out.starts[i]; k < out.starts[i + 1]; ++k) r.push_back({out.xs[k], out.ys[k]});
        pieces.rings.push_back(r);
    }
    return pieces;
}

// Crossing parity of a ray from (px, py) towards +x.
bool inside(const Ring& r, double px, double py) {
    bool in = false;
    for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
        const double xi = r[i].first, yi = r[i].second, xj = r[j].first, yj = r[j].second;
        if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi) in = !in;
    }
    return in;
}

double distanceToSegment(double px, double py, double ax, double ay, double bx, double by) {
    const double dx = bx - ax, dy = by - ay, length2 = dx * dx + dy * dy;
    const double t = length2 == 0 ? 0 : std::clamp(((px - ax) * dx + (py - ay) * dy) / length2, 0.0, 1.0);
    return std::hypot(px - ax - t * dx, py - ay - t * dy);
}

double distanceToOutline(const std::vector<Ring>& rings, double px, double py) {
    double best = INFINITY;
    for (const Ring& r : rings) {
        for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
            best = std::min(best, distanceToSegment(px, py, r[j].first, r[j].second, r[i].first, r[i].second));
        }
    }
    return best;
}

double twiceArea(const Ring& r) {
    double sum = 0;
    for (std::size_t i = 0, j = r.size() - 1; i < r.size(); j = i++) {
        sum += static_cast<double>(r[j].first) * r[i].second - static_cast<double>(r[i].first) * r[j].second;
    }
    return sum;
}

bool properlyCross(const std::pair<std::int64_t, std::int64_t>& a, const std::pair<std::int64_t, std::int64_t>& b,
                   const std::pair<std::int64_t, std::int64_t>& c, const std::pair<std::int64_t, std::int64_t>& d) {
    const auto side = [](auto p, auto q, auto r) {
        const double v = static_cast<double>(q.first - p.first) * (r.second - p.second) -
                         static_cast<double>(q.second - p.second) * (r.first - p.first);
        return (v > 0) - (v < 0);
    };
    const int s1 = side(a, b, c), s2 = side(a, b, d), s3 = side(c, d, a), s4 = side(c, d, b);
    if (s1 * s2 < 0 && s3 * s4 < 0) return true;
    // Collinear overlap: a repeated edge or a zero-width part.
    if (s1 == 0 && s2 == 0) {
        const auto key = [&](auto p) { return a.first != b.first ? p.first : p.second; };
        const auto lo1 = std::min(key(a), key(b)), hi1 = std::max(key(a), key(b));
        const auto lo2 = std::min(key(c), key(d)), hi2 = std::max(key(c), key(d));
        return std::min(hi1, hi2) > std::max(lo1, lo2);
    }
    return false;
}

TEST(Fracture, PiecesAreSimpleRingsThatTileTheRegionWithinHalfAUnit) {
    for (const Shape& shape : shapes()) {
        SCOPED_TRACE(shape.name);
        FractureResult result;
        const Pieces pieces = fracture(shape, result);
        ASSERT_EQ(result, FractureResult::pieces);
        if (shape.mostPieces != 0) {
            EXPECT_LE(pieces.rings.size(), shape.mostPieces);
        }
        std::set<std::pair<std::int64_t, std::int64_t>> inputPoints;
        for (const Ring& r : shape.rings) inputPoints.insert(r.begin(), r.end());
        double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY, pieceArea = 0;
        for (const Ring& piece : pieces.rings) {
            ASSERT_GE(piece.size(), 3u);
            ASSERT_LE(piece.size(), shape.limit);
            EXPECT_NE(twiceArea(piece), 0);
            pieceArea += std::fabs(twiceArea(piece)) / 2;
            std::set<std::pair<std::int64_t, std::int64_t>> distinct(piece.begin(), piece.end());
            EXPECT_EQ(distinct.size(), piece.size()) << "a piece touches itself";
            for (std::size_t i = 0; i < piece.size(); ++i) {
                const auto& p = piece[i];
                minX = std::min(minX, double(p.first));
                maxX = std::max(maxX, double(p.first));
                minY = std::min(minY, double(p.second));
                maxY = std::max(maxY, double(p.second));
                // Off the outline only where two cuts meet: a corner inside
                // the region between a horizontal and a vertical edge.
                if (!inputPoints.count(p) && distanceToOutline(shape.rings, p.first, p.second) > 0.5) {
                    const auto& before = piece[(i + piece.size() - 1) % piece.size()];
                    const auto& after = piece[(i + 1) % piece.size()];
                    const bool corner = (before.first == p.first && after.second == p.second) ||
                                        (before.second == p.second && after.first == p.first);
                    ASSERT_TRUE(corner) << p.first << ", " << p.second << " is off the outline";
                }
                for (std::size_t j = i + 2; j < piece.size(); ++j) {
                    if (i == 0 && j == piece.size() - 1) continue;
                    ASSERT_FALSE(properlyCross(piece[i], piece[(i + 1) % piece.size()], piece[j],
                                               piece[(j + 1) % piece.size()]))
                        << "edges " << i << " and " << j << " of a piece of " << piece.size() << ": " << [&] { std::string t; for (auto& q : piece) t += "(" + std::to_string(q.first) + "," + std::to_string(q.second) + ")"; return t; }();
                }
            }
        }
        if (shape.rectilinear) {
            double area = 0;  // even-odd: nested rings alternate in sign
            for (const Ring& r : shape.rings) {
                int depth = 0;
                for (const Ring& other : shape.rings) {
                    if (&other != &r && inside(other, r[0].first + 0.25, r[0].second + 0.25)) ++depth;
                }
                area += (depth % 2 ? -1 : 1) * std::fabs(twiceArea(r)) / 2;
            }
            EXPECT_EQ(pieceArea, area);
        }
        if (shape.area >= 0) {
            EXPECT_EQ(pieceArea, shape.area);
        }
        // Sample points that no grid line meets, over the whole extent and
        // near the input's vertices (where a thin band has its inside).
        std::mt19937 random(7);
        std::size_t edges = 0;
        for (const Ring& r : shape.rings) edges += r.size();
        const std::size_t samples = std::clamp<std::size_t>(10000000 / edges, 500, 3000);
        for (std::size_t sample = 0; sample < samples; ++sample) {
            double px = minX + (maxX - minX) * ((random() % 100000) + 0.31830988) / 100000.0;
            double py = minY + (maxY - minY) * ((random() % 100000) + 0.70710678) / 100000.0;
            if (sample % 2) {
                const Ring& r = shape.rings[random() % shape.rings.size()];
                const auto& near = r[random() % r.size()];
                px = near.first + (random() % 8000) / 1000.0 - 3.9996;
                py = near.second + (random() % 8000) / 1000.0 - 3.9993;
            }
            if (distanceToOutline(shape.rings, px, py) <= 0.5) continue;
            bool region = false;
            for (const Ring& r : shape.rings) region ^= inside(r, px, py);
            int holding = 0;
            for (const Ring& piece : pieces.rings) holding += inside(piece, px, py);
            ASSERT_EQ(holding, region ? 1 : 0) << "at " << px << ", " << py;
        }
    }
}

TEST(Fracture, OutlinesThatEncloseNothingAreReported) {
    Ring twice = regular(200, 10000, 0, 0);
    const Ring once = twice;
    twice.insert(twice.end(), once.begin(), once.end());
    Ring flat;  // out along a zigzag and back along it
    for (int i = 0; i < 200; ++i) flat.push_back({i * 10, (i % 2) * 7});
    for (int i = 199; i >= 0; --i) flat.push_back({i * 10, (i % 2) * 7});
    const std::vector<std::pair<std::vector<Ring>, FractureResult>> refused{
        {{twice}, FractureResult::noArea},
        {{flat}, FractureResult::noArea},
        {{box(0, 0, 100, 100), reversed(box(0, 0, 100, 100))}, FractureResult::noArea},  // a hole as its outline
        {{box(0, 0, 100, 100), box(50, 50, 150, 150)}, FractureResult::crossing},
        {{box(0, 0, 100, 100), box(20, -10, 30, 50)}, FractureResult::crossing},  // through a vertical edge
        {{box(0, 0, 100, 100), {{10, 10}, {40, 40}, {40, 10}, {10, 40}}}, FractureResult::crossing},  // itself
        {{box(0, 0, 100, 100), box(50, 0, 150, 100)}, FractureResult::crossing},  // on the same lines
        {{box(0, 0, 100, 100), {{40, 80}, {45, 100}, {40, 120}, {60, 120}, {55, 100}, {60, 80}}},
         FractureResult::crossing},  // through vertices on an edge
    };
    for (const auto& [rings, expected] : refused) {
        FractureResult result;
        const Pieces pieces = fracture({"", rings, 199, false, 0}, result);
        EXPECT_EQ(result, expected);
        EXPECT_TRUE(pieces.rings.empty());
    }
}

}  // namespace
