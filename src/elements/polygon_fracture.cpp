// Fracturing by recursive axis-parallel cuts, on exact pieces.
//
// A piece is the exact intersection of the input region with the cells of
// the cuts made so far: its vertices are input vertices, points where a cut
// line crosses an input edge (one coordinate an integer, the other a
// fraction with the edge's extent as denominator) and corners where two cut
// lines meet. Each segment of a piece remembers the input edge it lies on,
// so that a later cut crosses it on that edge itself, not on an edge
// between rounded points: rounding happens once, when a piece is written,
// and moves a vertex by at most half a unit off the input outline whatever
// the number of cuts. Axis-parallel segments (input edges along x or y, and
// stretches of cut lines) are kept as "on a line": a cut across them meets
// them at an integer point.
//
// One cut, at u = c (u is x for a vertical line, y for a horizontal one):
// the line is taken at c - epsilon, so that no vertex lies on it: a vertex
// whose u is at least c is on the high side, the others on the low side.
// The rings are cut into chains, each on one side, where their segments
// cross the line. Along the line the region's inside and outside alternate
// at every crossing, so sorting the crossings along the line and pairing
// them (first with second, third with fourth, ...) gives the stretches of
// the line that lie inside; each side's parts are the cycles of its chains
// joined by those stretches.
//
// Crossings at the same point of the line at c are ordered by where they
// cross the line at c - epsilon, that is by descending slope. Crossings
// that still tie lie on one line through that point, like the two edges of
// a keyhole's bridge: the one whose inside lies toward lower v comes first,
// so that every stretch runs from an edge with the inside above it to one
// with the inside below it. That needs every ring to have the inside on its
// left, so rings are oriented first: an outline counter-clockwise, a hole
// clockwise, by how deeply each ring is nested.
//
// A piece with holes is cut through a hole, and a piece that touches itself
// (a zero-width bridge, a pinched vertex) is split there into its loops, so
// that every written piece is one simple ring.
#include "elements/polygon_fracture.h"

#include <algorithm>
#include <cmath>
#include <set>
#include <utility>

namespace quillon {

namespace {

// --- Exact products of coordinate differences (below 2^33 in magnitude) ---

struct Wide {
    std::uint64_t high;
    std::uint64_t low;
};

Wide multiplyUnsigned(std::uint64_t a, std::uint64_t b) {
    const std::uint64_t a0 = a & 0xFFFFFFFFu, a1 = a >> 32;
    const std::uint64_t b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
    const std::uint64_t low = a0 * b0;
    const std::uint64_t middle1 = a1 * b0;
    const std::uint64_t middle2 = a0 * b1;
    const std::uint64_t middle = (low >> 32) + (middle1 & 0xFFFFFFFFu) + (middle2 & 0xFFFFFFFFu);
    return {a1 * b1 + (middle1 >> 32) + (middle2 >> 32) + (middle >> 32),
            (middle << 32) | (low & 0xFFFFFFFFu)};
}

int compareUnsigned(const Wide& a, const Wide& b) {
    if (a.high != b.high) return a.high < b.high ? -1 : 1;
    if (a.low != b.low) return a.low < b.low ? -1 : 1;
    return 0;
}

std::uint64_t magnitude(std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

int signOf(std::int64_t v) { return (v > 0) - (v < 0); }

// The sign of a * b - c * d.
int compareProducts(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    const int left = signOf(a) * signOf(b), right = signOf(c) * signOf(d);
    if (left != right) return left < right ? -1 : 1;
    if (left == 0) return 0;
    const int order = compareUnsigned(multiplyUnsigned(magnitude(a), magnitude(b)),
                                      multiplyUnsigned(magnitude(c), magnitude(d)));
    return left > 0 ? order : -order;
}

// --- Integer rings: the input, and the pieces as written ---------------------

struct Point {
    std::int64_t x;
    std::int64_t y;
};
using IntRing = std::vector<Point>;

bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }

// The turn at b on the way a, b, c: 0 when the three are collinear.
int turn(const Point& a, const Point& b, const Point& c) {
    return compareProducts(b.x - a.x, c.y - b.y, b.y - a.y, c.x - b.x);
}

// Where the ring closes: drops a last vertex that repeats the first or
// that the ring runs straight through, and a first vertex it runs straight
// through (joined(last, first) before it goes); clears a ring left with
// fewer than three vertices.
template <typename P, typename Same, typename Straight, typename Joined>
void closeRing(std::vector<P>& ring, Same same, Straight straight, Joined joined) {
    std::size_t first = 0;
    while (ring.size() - first >= 3) {
        const std::size_t last = ring.size() - 1;
        if (same(ring[last], ring[first]) || straight(ring[last - 1], ring[last], ring[first])) {
            ring.pop_back();
        } else if (straight(ring[last], ring[first], ring[first + 1])) {
            joined(ring[last], ring[first]);
            ++first;
        } else {
            break;
        }
    }
    if (ring.size() - first < 3) {
        ring.clear();
        return;
    }
    ring.erase(ring.begin(), ring.begin() + static_cast<std::ptrdiff_t>(first));
}

// Drops repeated vertices and vertices on the straight line between their
// neighbours (spikes included: they enclose nothing), all round the ring.
void clean(IntRing& ring) {
    std::size_t kept = 0;
    for (const Point& p : ring) {
        if (kept > 0 && ring[kept - 1] == p) continue;
        while (kept >= 2 && turn(ring[kept - 2], ring[kept - 1], p) == 0) --kept;
        if (kept > 0 && ring[kept - 1] == p) continue;
        ring[kept++] = p;
    }
    ring.resize(kept);
    closeRing(
        ring, [](const Point& a, const Point& b) { return a == b; },
        [](const Point& a, const Point& b, const Point& c) { return turn(a, b, c) == 0; },
        [](Point&, const Point&) {});
}

// --- Exact pieces -----------------------------------------------------------

// A coordinate whole + num / den, 0 <= num < den < 2^32.
struct Exact {
    std::int64_t whole;
    std::uint32_t num;
    std::uint32_t den;
};

int compare(const Exact& a, const Exact& b) {
    if (a.whole != b.whole) return a.whole < b.whole ? -1 : 1;
    // Both products are below 2^64: num < den < 2^32.
    const std::uint64_t left = std::uint64_t{a.num} * b.den, right = std::uint64_t{b.num} * a.den;
    return left == right ? 0 : left < right ? -1 : 1;
}

// Where the line from (lowU, lowV) to (highU, highV), lowU < highU, is at
// u = c, lowU <= c <= highU: exact, in lowest terms, so that equal points
// have equal fields.
Exact lineAt(std::int64_t lowU, std::int64_t lowV, std::int64_t highU, std::int64_t highV,
             std::int64_t c) {
    const std::int64_t du = highU - lowU, dv = highV - lowV;
    if (dv == 0 || c <= lowU) return {lowV, 0, 1};
    if (c >= highU) return {highV, 0, 1};
    // The clamp only guards the arithmetic.
    const std::int64_t t = std::min(std::max(c - lowU, std::int64_t{0}), du);
    // dv = q * du + r with 0 <= r < du, so t * dv / du = t * q + t * r / du,
    // where t * r < 2^64 and |t * q| <= |dv|.
    std::int64_t q = dv / du, r = dv % du;
    if (r < 0) {
        r += du;
        --q;
    }
    const std::uint64_t product = static_cast<std::uint64_t>(t) * static_cast<std::uint64_t>(r);
    const std::uint64_t divisor = static_cast<std::uint64_t>(du);
    const std::uint64_t remainder = product % divisor;
    std::uint64_t a = remainder, b = divisor;
    while (b != 0) a = std::exchange(b, a % b);
    return {lowV + t * q + static_cast<std::int64_t>(product / divisor),
            static_cast<std::uint32_t>(remainder / a),
            static_cast<std::uint32_t>(remainder == 0 ? 1 : divisor / a)};
}

constexpr std::int32_t onLine = -1;  // a segment along x = k or y = k, k an integer

struct Vertex {
    std::int64_t x;  // whole parts
    std::int64_t y;
    std::uint32_t num;      // the fraction of the coordinate that fraction names
    std::uint32_t den;
    std::int32_t edge;      // the input edge under the segment to the next vertex, or onLine
    std::uint8_t fraction;  // 0: none, 1: x's, 2: y's
};
using Ring = std::vector<Vertex>;
// A piece: an outline with the inside on its left, then its holes.
using RingSet = std::vector<Ring>;

Exact xOf(const Vertex& v) { return v.fraction == 1 ? Exact{v.x, v.num, v.den} : Exact{v.x, 0, 1}; }
Exact yOf(const Vertex& v) { return v.fraction == 2 ? Exact{v.y, v.num, v.den} : Exact{v.y, 0, 1}; }

// Fractions are kept in lowest terms, so equal points have equal fields.
bool samePoint(const Vertex& a, const Vertex& b) {
    return a.x == b.x && a.y == b.y && a.fraction == b.fraction &&
           (a.fraction == 0 || (a.num == b.num && a.den == b.den));
}
bool pointBefore(const Vertex& a, const Vertex& b) {
    const int x = compare(xOf(a), xOf(b));
    return x != 0 ? x < 0 : compare(yOf(a), yOf(b)) < 0;
}

// The nearest grid point, halves rounded up: the same exact point rounds
// the same way in every piece that holds it.
Point rounded(const Vertex& v) {
    const auto up = [&](std::uint8_t which) {
        return v.fraction == which && std::uint64_t{v.num} * 2 >= v.den ? 1 : 0;
    };
    return {v.x + up(1), v.y + up(2)};
}

// Whether a, b, c lie on one straight line that the segments from a to b
// and from b to c both run along, so that b can go.
bool straightThrough(const Vertex& a, const Vertex& b, const Vertex& c) {
    if (a.edge != b.edge) return false;
    if (a.edge != onLine) return true;  // both on one input edge
    const auto sameX = [](const Vertex& p, const Vertex& q) { return p.fraction != 1 && q.fraction != 1 && p.x == q.x; };
    const auto sameY = [](const Vertex& p, const Vertex& q) { return p.fraction != 2 && q.fraction != 2 && p.y == q.y; };
    return (sameX(a, b) && sameX(b, c)) || (sameY(a, b) && sameY(b, c));
}

// Drops repeated points and points inside straight runs, all round the ring.
void tidy(Ring& ring) {
    std::size_t kept = 0;
    for (const Vertex& v : ring) {
        for (;;) {
            if (kept > 0 && samePoint(ring[kept - 1], v)) {
                ring[kept - 1].edge = v.edge;  // the zero-length segment goes
                break;
            }
            if (kept >= 2 && straightThrough(ring[kept - 2], ring[kept - 1], v)) {
                --kept;
                continue;
            }
            ring[kept++] = v;
            break;
        }
    }
    ring.resize(kept);
    // The last vertex takes over the first one's segment when that goes.
    closeRing(ring, samePoint, straightThrough,
              [](Vertex& last, const Vertex& first) { last.edge = first.edge; });
}

// Twice the signed area, positive counter-clockwise, taken about the first
// vertex: only its sign is used, to tell outlines from holes, and doubles
// give it for every ring that encloses more than a sliver.
template <typename P, typename ToXY>
double signedArea(const std::vector<P>& ring, ToXY xy) {
    double sum = 0;
    long double x0, y0, x1, y1;
    xy(ring[0], x0, y0);
    xy(ring[1], x1, y1);
    double ax = static_cast<double>(x1 - x0), ay = static_cast<double>(y1 - y0);
    for (std::size_t i = 2; i < ring.size(); ++i) {
        long double x, y;
        xy(ring[i], x, y);
        const double bx = static_cast<double>(x - x0), by = static_cast<double>(y - y0);
        sum += ax * by - bx * ay;
        ax = bx;
        ay = by;
    }
    return sum;
}

void exactXY(const Vertex& v, long double& x, long double& y) {
    x = static_cast<long double>(v.x);
    y = static_cast<long double>(v.y);
    if (v.fraction != 0) {
        (v.fraction == 1 ? x : y) += static_cast<long double>(v.num) / v.den;
    }
}
void intXY(const Point& p, long double& x, long double& y) {
    x = static_cast<long double>(p.x);
    y = static_cast<long double>(p.y);
}

struct Box {
    long double minX, minY, maxX, maxY;
    bool holds(const Box& o) const {
        return minX <= o.minX && minY <= o.minY && o.maxX <= maxX && o.maxY <= maxY;
    }
};

template <typename P, typename ToXY>
Box boxOf(const std::vector<P>& ring, ToXY xy) {
    Box box{0, 0, 0, 0};
    for (std::size_t i = 0; i < ring.size(); ++i) {
        long double x, y;
        xy(ring[i], x, y);
        if (i == 0 || x < box.minX) box.minX = x;
        if (i == 0 || x > box.maxX) box.maxX = x;
        if (i == 0 || y < box.minY) box.minY = y;
        if (i == 0 || y > box.maxY) box.maxY = y;
    }
    return box;
}

// The input edges, by index: a piece's slanted segment lies on one of them.
struct Edge {
    std::int32_t ax, ay, bx, by;
};

// The direction of segment i of ring, as an integer vector along its line:
// its input edge's, turned the segment's way, or a unit step for a segment
// along x = k or y = k.
void directionOf(const Ring& ring, std::size_t i, const std::vector<Edge>& edges, std::int64_t& dx,
                 std::int64_t& dy) {
    const Vertex& a = ring[i];
    const Vertex& b = ring[(i + 1) % ring.size()];
    const int cx = compare(xOf(b), xOf(a)), cy = compare(yOf(b), yOf(a));
    if (a.edge == onLine) {
        dx = cx;
        dy = cy;
        return;
    }
    const Edge& e = edges[static_cast<std::size_t>(a.edge)];
    dx = std::int64_t{e.bx} - e.ax;
    dy = std::int64_t{e.by} - e.ay;
    if ((dx > 0 ? 1 : -1) != cx) {
        dx = -dx;
        dy = -dy;
    }
}

// Whether a point strictly inside ring a lies inside ring b: the point is
// a's first vertex A moved by e along a's first segment (direction t) and
// then by e^2 towards a's inside (n, t turned a quarter), for an e as small
// as need be. No grid point and no line through two grid points holds it,
// so a ray from it towards +x meets b's segments at no vertex and never
// runs along one, and every test below is an exact comparison of A's
// coordinates, ties going to the e and e^2 terms.
bool probeInside(const Ring& a, bool aCounterClockwise, const Ring& b, const std::vector<Edge>& edges) {
    const Vertex& A = a[0];
    std::int64_t tx, ty;
    directionOf(a, 0, edges, tx, ty);
    const std::int64_t nx = aCounterClockwise ? -ty : ty, ny = aCounterClockwise ? tx : -tx;
    const Exact ax = xOf(A), ay = yOf(A);
    const auto above = [&](const Vertex& v) {
        const int c = compare(yOf(v), ay);
        return c != 0 ? c > 0 : ty < 0 || (ty == 0 && ny < 0);
    };
    // The side of the probe to a line of direction (dx, dy): 1 on its left.
    const auto side = [&](int onTheLine, std::int64_t dx, std::int64_t dy) {
        if (onTheLine != 0) return onTheLine;
        const int first = compareProducts(dx, ty, dy, tx);
        return first != 0 ? first : compareProducts(dx, ny, dy, nx);
    };
    bool inside = false;
    for (std::size_t j = 0; j < b.size(); ++j) {
        const Vertex& v = b[j];
        const Vertex& w = b[(j + 1) % b.size()];
        if (above(v) == above(w)) continue;
        bool right;  // the ray meets the segment
        if (v.edge == onLine) {  // along x = v.x
            right = side(compare(Exact{v.x, 0, 1}, ax), 0, 1) > 0;
        } else {
            const Edge& e = edges[static_cast<std::size_t>(v.edge)];
            // The edge pointing up: the probe is on its left where the ray
            // meets it to the right.
            const bool up = e.by > e.ay;
            const std::int64_t lowX = up ? e.ax : e.bx, lowY = up ? e.ay : e.by;
            const std::int64_t highX = up ? e.bx : e.ax, highY = up ? e.by : e.ay;
            int onTheLine;
            if (A.fraction != 2) {
                // The probe's y is a whole number within the edge's extent.
                onTheLine = compare(lineAt(lowY, lowX, highY, highX, A.y), ax);
            } else if (A.x < std::min(lowX, highX) || A.x > std::max(lowX, highX)) {
                onTheLine = A.x < std::min(lowX, highX) ? 1 : -1;
            } else {
                const Exact lineY = lowX < highX ? lineAt(lowX, lowY, highX, highY, A.x)
                                                 : lineAt(highX, highY, lowX, lowY, A.x);
                onTheLine = (lowX < highX ? 1 : -1) * compare(ay, lineY);
            }
            right = side(onTheLine, highX - lowX, highY - lowY) > 0;
        }
        if (right) inside = !inside;
    }
    return inside;
}

// Whether ring a lies inside ring b, rings that do not cross but may touch
// or share edges: a point inside a lies inside b, and b is not inside a
// (then the point lies on an edge that b shares with a) or is the larger.
bool insideOf(const Ring& a, double areaA, const Ring& b, double areaB, const std::vector<Edge>& edges) {
    if (!probeInside(a, areaA > 0, b, edges)) return false;
    return !probeInside(b, areaB > 0, a, edges) || std::fabs(areaA) < std::fabs(areaB);
}

// Whether two rings run through the same points, from any start in either
// direction: under even-odd fill an outline and a hole that coincide (the
// parts that a cut leaves of a hole filling a cell) enclose nothing.
bool samePoints(const Ring& a, const Ring& b) {
    if (a.size() != b.size()) return false;
    Ring sortedA = a, sortedB = b;
    std::sort(sortedA.begin(), sortedA.end(), pointBefore);
    std::sort(sortedB.begin(), sortedB.end(), pointBefore);
    for (std::size_t i = 0; i < sortedA.size(); ++i) {
        if (!samePoint(sortedA[i], sortedB[i])) return false;
    }
    return true;
}

// Sorts rings with the inside on their left into pieces: each outline
// (positive area) with the holes (negative area) whose smallest enclosing
// outline it is. A hole that no outline encloses (a lobe of a self-crossing
// outline) is a piece of its own, turned round; a hole that coincides with
// an outline cancels it. holesInside says that every hole lies inside an
// outline (the sides of a cut through rings that do not cross): one outline
// then takes them all without a test.
struct GroupScratch {
    std::vector<double> areas;
    std::vector<std::size_t> outlines, holes;
    std::vector<Box> boxes;
    std::vector<bool> cancelled;
};

void groupIntoPieces(std::vector<Ring>& rings, std::vector<RingSet>& pieces, GroupScratch& scratch,
                     const std::vector<Edge>& edges, bool holesInside) {
    std::vector<double>& areas = scratch.areas;
    std::vector<std::size_t>& outlines = scratch.outlines;
    std::vector<std::size_t>& holes = scratch.holes;
    areas.resize(rings.size());
    outlines.clear();
    holes.clear();
    for (std::size_t i = 0; i < rings.size(); ++i) {
        areas[i] = signedArea(rings[i], exactXY);
        // A ring of no net area (a self-crossing outline's balanced lobes)
        // is an outline too: rounding clears it if it encloses nothing.
        if (areas[i] >= 0) outlines.push_back(i);
        else holes.push_back(i);
    }
    const std::size_t firstPiece = pieces.size();
    for (std::size_t i : outlines) pieces.push_back(RingSet{std::move(rings[i])});
    if (holes.empty()) return;
    std::vector<Box>& boxes = scratch.boxes;
    std::vector<bool>& cancelled = scratch.cancelled;
    boxes.clear();
    for (std::size_t k = firstPiece; k < pieces.size(); ++k) boxes.push_back(boxOf(pieces[k][0], exactXY));
    cancelled.assign(outlines.size(), false);
    bool anyCancelled = false;
    for (std::size_t h : holes) {
        const Box box = boxOf(rings[h], exactXY);
        std::size_t best = 0;
        double bestArea = 0;
        for (std::size_t j = 0; j < outlines.size(); ++j) {
            const std::size_t k = firstPiece + j;
            if (cancelled[j] || !boxes[j].holds(box)) continue;
            if (box.holds(boxes[j]) && samePoints(rings[h], pieces[k][0])) {
                cancelled[j] = anyCancelled = true;
                best = 0;
                rings[h].clear();
                break;
            }
            if (holesInside && outlines.size() == 1) {
                best = k + 1;
                continue;
            }
            if (best != 0 && areas[outlines[j]] >= bestArea) continue;
            if (!insideOf(rings[h], areas[h], pieces[k][0], areas[outlines[j]], edges)) continue;
            best = k + 1;
            bestArea = areas[outlines[j]];
        }
        if (rings[h].empty()) continue;
        if (best != 0) {
            pieces[best - 1].push_back(std::move(rings[h]));
        } else {
            Ring lobe = std::move(rings[h]);
            std::reverse(lobe.begin(), lobe.end());
            // The reversed segments run from each vertex to the one before.
            const std::int32_t lastEdge = lobe.front().edge;
            for (std::size_t i = 0; i + 1 < lobe.size(); ++i) lobe[i].edge = lobe[i + 1].edge;
            lobe.back().edge = lastEdge;
            pieces.push_back(RingSet{std::move(lobe)});
        }
    }
    if (!anyCancelled) return;
    for (std::size_t j = outlines.size(); j-- > 0;) {
        if (cancelled[j]) pieces.erase(pieces.begin() + static_cast<std::ptrdiff_t>(firstPiece + j));
    }
}

// --- Cutting ----------------------------------------------------------------

// Reads points with u along the cut's axis and v across it.
struct Axis {
    bool horizontal;  // the cut line is u = c with u the y coordinate
    std::int64_t u(const Vertex& p) const { return horizontal ? p.y : p.x; }
    Exact v(const Vertex& p) const { return horizontal ? xOf(p) : yOf(p); }
    Vertex make(std::int64_t c, const Exact& v, std::int32_t edge) const {
        const std::uint8_t which = v.num == 0 ? 0 : horizontal ? 1 : 2;
        return horizontal ? Vertex{v.whole, c, v.num, v.den, edge, which}
                          : Vertex{c, v.whole, v.num, v.den, edge, which};
    }
};

struct Crossing {
    std::size_t ring;
    std::size_t at;  // the segment from vertex at to at + 1
    Exact v;         // where it crosses u = c
    std::int64_t du; // the direction of its line, low u to high u (du > 0)
    std::int64_t dv;
    bool up;         // the ring runs from the low side to the high side here
    Vertex point;
};

// Where the segment from a to b crosses u = c: exactly on its input edge,
// or at an integer point for a segment along a line.
Crossing makeCrossing(const Axis& axis, const std::vector<Edge>& edges, std::size_t ringIndex,
                      std::size_t at, const Vertex& a, std::int64_t c) {
    Crossing crossing{ringIndex, at, {0, 0, 1}, 1, 0, axis.u(a) < c, {}};
    if (a.edge == onLine) {
        crossing.v = axis.v(a);  // the segment runs along u: v is constant
    } else {
        const Edge& e = edges[static_cast<std::size_t>(a.edge)];
        std::int64_t lowU = axis.horizontal ? e.ay : e.ax, lowV = axis.horizontal ? e.ax : e.ay;
        std::int64_t highU = axis.horizontal ? e.by : e.bx, highV = axis.horizontal ? e.bx : e.by;
        if (lowU > highU) {
            std::swap(lowU, highU);
            std::swap(lowV, highV);
        }
        const std::int64_t du = highU - lowU;  // > 0: the segment crosses the line
        const std::int64_t dv = highV - lowV;
        // The piece's segment lies on the edge, so lowU < c <= highU.
        crossing.v = lineAt(lowU, lowV, highU, highV, c);
        crossing.du = du;
        crossing.dv = dv;
    }
    return crossing;
}

// The order along the line at c - epsilon; see the top of the file.
bool alongLine(const Crossing& a, const Crossing& b, bool horizontal) {
    const int position = compare(a.v, b.v);
    if (position != 0) return position < 0;
    const int slope = compareProducts(a.dv, b.du, b.dv, a.du);
    if (slope != 0) return slope > 0;
    // Inside on the high-v side: left of a segment running up a vertical
    // line's u, or down a horizontal one's.
    const bool aHigh = a.up != horizontal, bHigh = b.up != horizontal;
    if (aHigh != bHigh) return !aHigh;
    return a.ring != b.ring ? a.ring < b.ring : a.at < b.at;
}

class Cutter {
public:
    Cutter(const std::vector<Edge>& edges) : edges(edges) {}

    // Cuts the piece at u = c: the rings of each side, parts and uncut rings.
    void cut(const RingSet& piece, const Axis& axis, std::int64_t c, std::vector<Ring> sides[2]) {
        crossings.clear();
        firstOf.assign(piece.size() + 1, 0);
        for (std::size_t r = 0; r < piece.size(); ++r) {
            const Ring& ring = piece[r];
            const std::size_t n = ring.size();
            firstOf[r] = crossings.size();
            for (std::size_t i = 0; i < n; ++i) {
                const Vertex& a = ring[i];
                const Vertex& b = ring[(i + 1) % n];
                if ((axis.u(a) >= c) != (axis.u(b) >= c)) {
                    crossings.push_back(makeCrossing(axis, edges, r, i, a, c));
                    crossings.back().point = axis.make(c, crossings.back().v, a.edge);
                }
            }
            if (crossings.size() == firstOf[r]) sides[axis.u(ring[0]) >= c ? 1 : 0].push_back(ring);
        }
        firstOf[piece.size()] = crossings.size();
        const std::size_t m = crossings.size();
        if (m == 0) return;

        order.resize(m);
        for (std::size_t k = 0; k < m; ++k) order[k] = k;
        const bool horizontal = axis.horizontal;
        std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
            return alongLine(crossings[a], crossings[b], horizontal);
        });
        partner.assign(m, 0);
        for (std::size_t k = 0; k + 1 < m; k += 2) {
            partner[order[k]] = order[k + 1];
            partner[order[k + 1]] = order[k];
        }
        const auto next = [&](std::size_t k) {
            const std::size_t r = crossings[k].ring;
            return k + 1 < firstOf[r + 1] ? k + 1 : firstOf[r];
        };
        const auto previous = [&](std::size_t k) {
            const std::size_t r = crossings[k].ring;
            return k > firstOf[r] ? k - 1 : firstOf[r + 1] - 1;
        };
        // Chain k runs from crossing k to crossing next(k), on this side.
        const auto chainSide = [&](std::size_t k) { return crossings[k].up ? 1 : 0; };

        visited.assign(m, false);
        for (int side = 0; side < 2; ++side) {
            for (std::size_t start = 0; start < m; ++start) {
                if (visited[start] || chainSide(start) != side) continue;
                Ring part;
                std::size_t k = start, at = start;  // chain k, entered at crossing at
                while (!visited[k]) {
                    visited[k] = true;
                    const std::size_t after = next(k);
                    const Ring& ring = piece[crossings[k].ring];
                    const std::size_t n = ring.size();
                    std::size_t first = crossings[k].at + 1, last = crossings[after].at;
                    if (last < first) last += n;  // the chain wraps past vertex 0
                    std::size_t exit;
                    if (at == k) {
                        part.push_back(crossings[k].point);
                        for (std::size_t i = first; i <= last; ++i) part.push_back(ring[i % n]);
                        exit = after;
                    } else {
                        // Backwards, as a self-crossing outline needs: each
                        // segment is the one before its start vertex.
                        Vertex entry = crossings[after].point;
                        entry.edge = ring[crossings[after].at].edge;
                        part.push_back(entry);
                        for (std::size_t i = last; i >= first; --i) {
                            Vertex v = ring[i % n];
                            v.edge = ring[(i + n - 1) % n].edge;
                            part.push_back(v);
                        }
                        exit = k;
                    }
                    Vertex out = crossings[exit].point;
                    out.edge = onLine;  // along the cut line to the partner
                    part.push_back(out);
                    at = partner[exit];
                    k = chainSide(at) == side ? at : previous(at);
                }
                tidy(part);
                if (!part.empty()) sides[side].push_back(std::move(part));
            }
        }
    }

    // How many segments of the piece cross u = c.
    std::size_t count(const RingSet& piece, const Axis& axis, std::int64_t c) const {
        std::size_t crossed = 0;
        for (const Ring& ring : piece) {
            for (std::size_t i = 0; i < ring.size(); ++i) {
                crossed += (axis.u(ring[i]) >= c) != (axis.u(ring[(i + 1) % ring.size()]) >= c);
            }
        }
        return crossed;
    }

private:
    const std::vector<Edge>& edges;
    std::vector<Crossing> crossings;
    std::vector<std::size_t> firstOf, order, partner;
    std::vector<bool> visited;
};

// --- Nesting of the input rings ---------------------------------------------

// Twice a ring's signed area, exactly: a 128-bit two's complement sum.
struct TwiceArea {
    std::uint64_t high = 0, low = 0;
    void add(std::int64_t v) {
        const std::uint64_t before = low;
        low += static_cast<std::uint64_t>(v);
        high += (low < before ? 1u : 0u) + (v < 0 ? ~std::uint64_t{0} : 0u);
    }
    int sign() const { return static_cast<std::int64_t>(high) < 0 ? -1 : (high | low) != 0; }
    Wide magnitude() const {
        if (sign() >= 0) return {high, low};
        const std::uint64_t low2 = ~low + 1;
        return {~high + (low2 == 0 ? 1u : 0u), low2};
    }
};

TwiceArea twiceArea(const IntRing& ring) {
    TwiceArea sum;
    for (std::size_t i = 0; i < ring.size(); ++i) {
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % ring.size()];
        sum.add(a.x * b.y);
        sum.add(-(b.x * a.y));
    }
    return sum;
}

// Drops rings that coincide with another, in pairs: under even-odd fill two
// copies of a ring enclose nothing. Rings are compared from their least
// vertex, in the direction of its lesser neighbour.
void cancelCoinciding(std::vector<IntRing>& rings) {
    if (rings.size() < 2) return;
    struct Form {
        std::size_t size, start;
        bool forward;
        std::uint64_t hash;
    };
    const auto less = [](const Point& a, const Point& b) { return a.x != b.x ? a.x < b.x : a.y < b.y; };
    std::vector<Form> forms;
    for (const IntRing& ring : rings) {
        const std::size_t n = ring.size();
        std::size_t start = 0;
        for (std::size_t i = 1; i < n; ++i) {
            if (less(ring[i], ring[start])) start = i;
        }
        const bool forward = less(ring[(start + 1) % n], ring[(start + n - 1) % n]);
        std::uint64_t hash = n;
        for (std::size_t k = 0; k < n; ++k) {
            const Point& p = ring[forward ? (start + k) % n : (start + n - k) % n];
            hash = (hash ^ static_cast<std::uint64_t>(p.x)) * 0x9E3779B97F4A7C15u;
            hash = (hash ^ static_cast<std::uint64_t>(p.y)) * 0xC2B2AE3D27D4EB4Fu;
        }
        forms.push_back({n, start, forward, hash});
    }
    const auto same = [&](std::size_t a, std::size_t b) {
        const Form &fa = forms[a], &fb = forms[b];
        const std::size_t n = fa.size;
        for (std::size_t k = 0; k < n; ++k) {
            const Point& p = rings[a][fa.forward ? (fa.start + k) % n : (fa.start + n - k) % n];
            const Point& q = rings[b][fb.forward ? (fb.start + k) % n : (fb.start + n - k) % n];
            if (!(p == q)) return false;
        }
        return true;
    };
    std::vector<std::size_t> order(rings.size());
    for (std::size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
        return forms[a].size != forms[b].size ? forms[a].size < forms[b].size : forms[a].hash < forms[b].hash;
    });
    std::vector<bool> gone(rings.size(), false);
    bool any = false;
    for (std::size_t i = 0; i < order.size(); ++i) {
        for (std::size_t j = i + 1; j < order.size() && !gone[order[i]]; ++j) {
            const Form &fa = forms[order[i]], &fb = forms[order[j]];
            if (fa.size != fb.size || fa.hash != fb.hash) break;
            if (!gone[order[j]] && same(order[i], order[j])) {
                gone[order[i]] = gone[order[j]] = true;
                any = true;
            }
        }
    }
    if (!any) return;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < rings.size(); ++i) {
        if (gone[i]) continue;
        if (kept != i) rings[kept] = std::move(rings[i]);
        ++kept;
    }
    rings.resize(kept);
}

// The nesting of rings that may touch but do not cross, by a sweep of a
// vertical line over them from left to right that keeps the segments it
// meets in order from bottom to top. Each ring looks up from just above its
// topmost vertex (the leftmost of several), beside it: the first boundary
// there belongs to the innermost ring around it when that ring's inside
// lies below, and otherwise to a ring beside it, inside the same ring as
// it. Segments on one line there (rings that share an edge) are told apart
// by the side their inside lies on and by area.
//
// Rings that cross are found two ways. Any two segments that cross inside
// both are seen as they become neighbours in the order (Shamos and Hoey),
// and vertical edges are tested against the segments that span them. Rings
// that overlap without such a crossing (rectangles on the same lines, one
// shifted along the other) are seen because every edge looks out from its
// outside as the top does: all must find the ring's parent, or a ring
// beside it with the same parent. Time n log n in the number of vertices.
class Nesting {
public:
    static constexpr std::size_t none = ~std::size_t{0};

    // parent[r]: the ring that ring r lies directly inside, or none; false
    // when two rings cross.
    bool run(const std::vector<IntRing>& rings, std::vector<std::size_t>& parent) {
        build(rings);
        link.assign(rings.size(), none);
        parent.assign(rings.size(), none);
        std::vector<std::size_t> byLeft(segments.size()), byRight(segments.size());
        std::vector<std::int64_t> stops;
        for (std::size_t s = 0; s < segments.size(); ++s) {
            byLeft[s] = byRight[s] = s;
            stops.push_back(segments[s].left.x);
            stops.push_back(segments[s].right.x);
        }
        std::sort(byLeft.begin(), byLeft.end(),
                  [&](std::size_t a, std::size_t b) { return segments[a].left.x < segments[b].left.x; });
        std::sort(byRight.begin(), byRight.end(),
                  [&](std::size_t a, std::size_t b) { return segments[a].right.x < segments[b].right.x; });
        std::sort(verticals.begin(), verticals.end(), [](const Vertical& a, const Vertical& b) {
            return a.x != b.x ? a.x < b.x : a.low < b.low;
        });
        std::sort(probes.begin(), probes.end(), [](const Probe& a, const Probe& b) { return a.x < b.x; });
        std::sort(stops.begin(), stops.end());
        stops.erase(std::unique(stops.begin(), stops.end()), stops.end());
        status = std::set<std::size_t, Order>(Order{this});
        where.assign(segments.size(), status.end());
        seen.clear();
        std::size_t l = 0, r = 0, v = 0, before = 0, after = 0;
        for (const std::int64_t x : stops) {
            at = x;
            for (; before < probes.size() && probes[before].x == x; ++before) {
                if (probes[before].before) look(probes[before]);
            }
            for (; r < byRight.size() && segments[byRight[r]].right.x == x; ++r) {
                const auto it = where[byRight[r]];
                if (it != status.begin() && std::next(it) != status.end() && cross(*std::prev(it), *std::next(it)))
                    return false;
                status.erase(it);
            }
            for (; v < verticals.size() && verticals[v].x <= x; ++v) {
                probeY = Exact{verticals[v].low, 0, 1};
                const auto it = status.lower_bound(probeKey());
                if (it != status.end() && compare(yAt(*it), Exact{verticals[v].high, 0, 1}) < 0) return false;
            }
            for (; l < byLeft.size() && segments[byLeft[l]].left.x == x; ++l) {
                const auto it = status.insert(byLeft[l]).first;
                where[byLeft[l]] = it;
                if (it != status.begin() && cross(*std::prev(it), *it)) return false;
                if (std::next(it) != status.end() && cross(*it, *std::next(it))) return false;
            }
            for (; after < probes.size() && probes[after].x == x; ++after) {
                if (!probes[after].before) look(probes[after]);
            }
        }
        for (const Seen& found : seen) {
            if (found.fromTop && found.kind == Seen::around) parent[found.ring] = found.other;
            if (found.fromTop && found.kind == Seen::beside) link[found.ring] = found.other;
        }
        // A ring beside another lies inside the same one: followed to a
        // ring whose parent is known (a loop, which touching rings on one
        // line could make, ends at none).
        std::vector<char> state(rings.size(), 0);  // 1: on the path, 2: done
        std::vector<std::size_t> path;
        for (std::size_t ring = 0; ring < rings.size(); ++ring) {
            std::size_t k = ring;
            path.clear();
            while (state[k] == 0 && link[k] != none) {
                state[k] = 1;
                path.push_back(k);
                k = link[k];
            }
            const std::size_t found = state[k] == 1 ? none : parent[k];
            for (const std::size_t p : path) {
                parent[p] = found;
                state[p] = 2;
            }
            state[k] = 2;
        }
        // What every edge saw agrees with that, or two rings overlap.
        for (const Seen& found : seen) {
            const std::size_t expected = parent[found.ring];
            if (found.kind == Seen::around && found.other != expected) return false;
            if (found.kind == Seen::beside && parent[found.other] != expected) return false;
            if (found.kind == Seen::nothing && expected != none) return false;
        }
        return true;
    }

    std::vector<TwiceArea> areas;

    // Gives the sweep's memory back (the fracturing that follows needs it).
    void release() {
        status.clear();
        std::vector<std::set<std::size_t, Order>::iterator>().swap(where);
        std::vector<Segment>().swap(segments);
        std::vector<Vertical>().swap(verticals);
        std::vector<Probe>().swap(probes);
        std::vector<Seen>().swap(seen);
        std::vector<std::size_t>().swap(link);
        std::vector<TwiceArea>().swap(areas);
    }

private:
    struct Segment {
        Point left, right;
        std::size_t ring;
        bool rightward;  // the ring runs from left to right along it
    };
    struct Vertical {
        std::int64_t x, low, high;
        std::size_t ring, id;
        bool insideLeft;
    };
    // A point just outside a ring's edge, and the way it looks (up or
    // down). For a slanted or horizontal edge, just beside its left end
    // (the top's: beside the top vertex); for a vertical one, beside it just
    // above its low end, looking up.
    struct Probe {
        std::int64_t x;
        std::size_t ring, segment;  // segment: none for a vertical edge
        bool before;                // just left of x, else just right
        bool up;
        bool top;                   // the ring's top: what gives its parent
        std::int64_t low;           // a vertical edge's low end...
        std::size_t vertical;       // ...and its id
    };
    // What a probe found: the innermost ring around its point, a ring
    // beside the probe's ring that its point lies in or under, nothing, or
    // only the probe's own ring (which says nothing).
    struct Seen {
        enum Kind { around, beside, nothing, own } kind;
        std::size_t ring, other;
        bool fromTop;
    };
    struct Order {
        const Nesting* nesting;
        bool operator()(std::size_t a, std::size_t b) const { return nesting->below(a, b); }
    };

    void build(const std::vector<IntRing>& rings) {
        segments.clear();
        verticals.clear();
        probes.clear();
        areas.clear();
        for (std::size_t r = 0; r < rings.size(); ++r) {
            const IntRing& ring = rings[r];
            const std::size_t n = ring.size();
            areas.push_back(twiceArea(ring));
            const bool counterClockwise = areas.back().sign() > 0;
            std::size_t top = 0;
            for (std::size_t k = 1; k < n; ++k) {
                if (ring[k].y > ring[top].y || (ring[k].y == ring[top].y && ring[k].x < ring[top].x)) top = k;
            }
            std::size_t leaving = none, arriving = none;  // segments at the top, right of it and left
            const auto better = [&](std::size_t& best, std::size_t s, int higher) {
                if (best == none || slopeOrder(s, best) == higher) best = s;
            };
            for (std::size_t k = 0; k < n; ++k) {
                const Point& a = ring[k];
                const Point& b = ring[(k + 1) % n];
                if (a.x == b.x) {
                    // Inside on the left of an edge going up in a ring
                    // turning counter-clockwise: the outside is right of it.
                    const bool insideLeft = (b.y > a.y) == counterClockwise;
                    const std::size_t id = verticals.size();
                    verticals.push_back({a.x, std::min(a.y, b.y), std::max(a.y, b.y), r, id, insideLeft});
                    probes.push_back({a.x, r, none, !insideLeft, true, false, std::min(a.y, b.y), id});
                    continue;
                }
                segments.push_back({a.x < b.x ? a : b, a.x < b.x ? b : a, r, a.x < b.x});
                const std::size_t s = segments.size() - 1;
                // The outside of an edge with the inside below is above it.
                probes.push_back({segments[s].left.x, r, s, false, insideBelow(s), false, 0, none});
                if (k != top && (k + 1) % n != top) continue;
                // Highest just right of the top: the steepest up; just left of
                // it, the flattest.
                if (segments[s].left == ring[top]) better(leaving, s, 1);
                else better(arriving, s, -1);
            }
            if (leaving != none) probes.push_back({ring[top].x, r, leaving, false, true, true, 0, none});
            else if (arriving != none) probes.push_back({ring[top].x, r, arriving, true, true, true, 0, none});
        }
    }

    std::size_t probeKey() const { return segments.size(); }

    Exact yAt(std::size_t s) const {
        const Segment& g = segments[s];
        return lineAt(g.left.x, g.left.y, g.right.x, g.right.y, at);
    }
    int slopeOrder(std::size_t a, std::size_t b) const {
        const Segment &p = segments[a], &q = segments[b];
        return compareProducts(p.right.y - p.left.y, q.right.x - q.left.x, q.right.y - q.left.y,
                               p.right.x - p.left.x);
    }
    // The order just right of the sweep line; the probe key stands for a
    // point just above probeY.
    bool below(std::size_t a, std::size_t b) const {
        if (a == b) return false;
        if (a == probeKey()) return compare(probeY, yAt(b)) < 0;
        if (b == probeKey()) return compare(yAt(a), probeY) <= 0;
        const int y = compare(yAt(a), yAt(b));
        if (y != 0) return y < 0;
        const int slope = slopeOrder(a, b);
        return slope != 0 ? slope < 0 : a < b;
    }
    bool samePlace(std::size_t a, std::size_t b) const {
        return compare(yAt(a), yAt(b)) == 0 && slopeOrder(a, b) == 0;
    }
    bool insideBelow(std::size_t s) const {
        return (areas[segments[s].ring].sign() > 0) != segments[s].rightward;
    }
    bool larger(std::size_t ringA, std::size_t ringB) const {
        return compareUnsigned(areas[ringA].magnitude(), areas[ringB].magnitude()) > 0;
    }
    bool cross(std::size_t a, std::size_t b) const {
        const Segment &p = segments[a], &q = segments[b];
        return turn(p.left, p.right, q.left) * turn(p.left, p.right, q.right) < 0 &&
               turn(q.left, q.right, p.left) * turn(q.left, q.right, p.right) < 0;
    }

    // What the probe's point sees: see the class comment. Boundaries on the
    // edge's own line first: a ring whose inside lies on the edge's inner
    // side is around it when larger (else inside it), one whose inside
    // holds the point is beside it; then the first boundary the way the
    // probe looks: around if its inside faces the point, else beside.
    void look(const Probe& probe) {
        const std::size_t ring = probe.ring;
        std::size_t around = none, beside = none;
        bool own = false, bridge = false;
        const auto consider = [&](std::size_t other, bool inward, bool onLine) {
            if (other == ring) {
                // On the edge's line, the ring running back along itself (a
                // zero-width bridge): the point is not outside it. Beyond,
                // its own boundary: the point says nothing.
                (onLine ? bridge : own) = true;
                return;
            }
            if (inward) {
                if ((!onLine || larger(other, ring)) && (around == none || larger(around, other))) around = other;
            } else if (beside == none || larger(other, beside)) {
                beside = other;
            }
        };
        // A segment's inside lies towards the edge's inner side (on its own
        // line) or faces the point (beyond it).
        const auto inward = [&](std::size_t s) { return probe.up == insideBelow(s); };
        auto next = status.end();
        if (probe.segment != none) {
            auto high = where[probe.segment], low = high;
            for (auto k = std::next(high); k != status.end() && samePlace(*k, probe.segment); ++k) {
                consider(segments[*k].ring, inward(*k), true);
                high = k;
            }
            while (low != status.begin() && samePlace(*std::prev(low), probe.segment)) {
                --low;
                consider(segments[*low].ring, inward(*low), true);
            }
            next = probe.up ? std::next(high) : low == status.begin() ? status.end() : std::prev(low);
        } else {
            // Vertical edges on the same line across the point: their
            // inside lies on the edge's inner side or holds the point.
            const auto first = std::lower_bound(verticals.begin(), verticals.end(), probe.x,
                                                [](const Vertical& e, std::int64_t x) { return e.x < x; });
            for (auto e = first; e != verticals.end() && e->x == probe.x && e->low <= probe.low; ++e) {
                if (e->high > probe.low && e->id != probe.vertical)
                    consider(e->ring, e->insideLeft == !probe.before, true);
            }
            probeY = Exact{probe.low, 0, 1};
            next = status.lower_bound(probeKey());
        }
        if (around == none && beside == none && next != status.end()) {
            const std::size_t first = *next;
            for (auto k = next; k != status.end() && samePlace(*k, first);) {
                consider(segments[*k].ring, inward(*k), false);
                if (!probe.up) {
                    if (k == status.begin()) break;
                    --k;
                } else {
                    ++k;
                }
            }
        }
        Seen found{Seen::nothing, ring, none, probe.top};
        if (around != none) found = {Seen::around, ring, around, probe.top};
        else if (beside != none) found = {Seen::beside, ring, beside, probe.top};
        else if (own) found.kind = Seen::own;
        if (probe.top || (found.kind != Seen::own && !bridge)) seen.push_back(found);
    }

    std::vector<Segment> segments;
    std::vector<Vertical> verticals;
    std::vector<Probe> probes;
    std::vector<Seen> seen;
    std::vector<std::size_t> link;
    std::int64_t at = 0;
    Exact probeY{0, 0, 1};
    std::set<std::size_t, Order> status{Order{this}};
    std::vector<std::set<std::size_t, Order>::iterator> where;
};

// --- The whole fracturing ------------------------------------------------------

class Fracturer {
public:
    Fracturer(std::size_t limit, FracturedPolygon& out) : limit(limit), out(out), cutter(edges) {}

    // The input's rings, cleaned, none empty.
    FractureResult run(std::vector<IntRing>& input) {
        cancelCoinciding(input);
        if (input.empty()) return FractureResult::noArea;
        std::vector<std::size_t> parent;
        std::vector<bool> hole;
        if (!orient(input, parent, hole)) return FractureResult::crossing;
        severalRings = input.size() > 1;
        std::vector<std::size_t> pieceOf(input.size(), Nesting::none);
        for (std::size_t r = 0; r < input.size(); ++r) {
            const IntRing& ring = input[r];
            Ring exact;
            exact.reserve(ring.size());
            for (std::size_t i = 0; i < ring.size(); ++i) {
                const Point& a = ring[i];
                const Point& b = ring[(i + 1) % ring.size()];
                const bool straight = a.x == b.x || a.y == b.y;
                exact.push_back({a.x, a.y, 0, 1,
                                 straight ? onLine : static_cast<std::int32_t>(edges.size()), 0});
                edges.push_back({static_cast<std::int32_t>(a.x), static_cast<std::int32_t>(a.y),
                                 static_cast<std::int32_t>(b.x), static_cast<std::int32_t>(b.y)});
            }
            // Outlines first, each a piece; a hole joins its parent's.
            if (hole[r]) {
                pending[pieceOf[parent[r]]].push_back(std::move(exact));
            } else {
                pieceOf[r] = pending.size();
                pending.push_back(RingSet{std::move(exact)});
            }
        }
        std::vector<IntRing>().swap(input);
        while (!pending.empty()) {
            RingSet piece = std::move(pending.back());
            pending.pop_back();
            if (!step(piece)) return FractureResult::notCuttable;
        }
        return FractureResult::pieces;
    }

private:
    // Turns each ring so that the inside is on its left: one ring by its
    // area, several by how deeply each is nested (hole: an odd depth), and
    // parent[r] the ring r lies directly inside. Ordered so that a parent
    // comes before the rings inside it. False when rings cross.
    bool orient(std::vector<IntRing>& rings, std::vector<std::size_t>& parent, std::vector<bool>& hole) {
        hole.assign(rings.size(), false);
        if (rings.size() == 1) {
            parent.assign(1, Nesting::none);
            if (signedArea(rings[0], intXY) < 0) std::reverse(rings[0].begin(), rings[0].end());
            return true;
        }
        if (!nesting.run(rings, parent)) return false;
        // Depths by following parents, each ring once; then parents first.
        std::vector<std::size_t> depth(rings.size(), Nesting::none), path;
        for (std::size_t r = 0; r < rings.size(); ++r) {
            std::size_t k = r;
            path.clear();
            while (depth[k] == Nesting::none && parent[k] != Nesting::none) {
                path.push_back(k);
                k = parent[k];
            }
            if (depth[k] == Nesting::none) depth[k] = 0;
            for (std::size_t i = path.size(); i-- > 0;) depth[path[i]] = depth[parent[path[i]]] + 1;
        }
        std::vector<std::size_t> order(rings.size()), position(rings.size());
        for (std::size_t r = 0; r < rings.size(); ++r) order[r] = r;
        std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) { return depth[a] < depth[b]; });
        std::vector<IntRing> sorted(rings.size());
        std::vector<std::size_t> sortedParent(rings.size());
        for (std::size_t i = 0; i < order.size(); ++i) position[order[i]] = i;
        for (std::size_t i = 0; i < order.size(); ++i) {
            const std::size_t r = order[i];
            hole[i] = depth[r] % 2 == 1;
            if ((nesting.areas[r].sign() < 0) != hole[i]) std::reverse(rings[r].begin(), rings[r].end());
            sorted[i] = std::move(rings[r]);
            sortedParent[i] = parent[r] == Nesting::none ? Nesting::none : position[parent[r]];
        }
        rings.swap(sorted);
        parent.swap(sortedParent);
        nesting.release();
        return true;
    }

    // One piece: written when it is a single ring within the limit, else cut.
    bool step(RingSet& piece) {
        std::size_t total = 0;
        for (const Ring& ring : piece) total += ring.size();
        if (piece.size() == 1 && total <= limit) {
            splitAtPinches(piece[0]);
            return true;
        }
        Axis axis{false};
        std::int64_t c = 0;
        bool found = total > limit && chooseCut(piece, total, axis, c);
        if (!found && piece.size() > 1) found = chooseHoleCut(piece, axis, c);
        if (found) {
            sides[0].clear();
            sides[1].clear();
            cutter.cut(piece, axis, c, sides);
            RingSet().swap(piece);
            for (std::vector<Ring>& side : sides) groupIntoPieces(side, pending, grouping, edges, severalRings);
            return true;
        }
        if (piece.size() > 1) {  // holes under one unit across: filled
            piece.resize(1);
            pending.push_back(std::move(piece));
            return true;
        }
        // More than the limit within a cell of two units: what rounding
        // leaves of it may still fit.
        IntRing ring;
        for (const Vertex& v : piece[0]) ring.push_back(rounded(v));
        clean(ring);
        if (ring.size() > limit) return false;
        writeRounded(ring);
        return true;
    }

    // A cut that leaves whole pieces of about the limit on its low side and
    // crosses the fewest segments of the two axes'. The cut lies strictly
    // inside the extent, so that both sides shrink; false when the piece
    // spans less than two units both ways.
    bool chooseCut(const RingSet& piece, std::size_t total, Axis& axis, std::int64_t& c) {
        const std::size_t target = limit - std::max<std::size_t>(4, limit / 16);
        const std::size_t chunks = (total + target - 1) / target;
        const std::size_t below = std::min(std::max<std::size_t>(chunks / 2 * target, 1), total - 1);
        std::size_t fewest = 0;
        bool found = false;
        for (int horizontal = 0; horizontal < 2; ++horizontal) {
            const Axis candidate{horizontal == 1};
            scratch.clear();
            for (const Ring& ring : piece) {
                for (const Vertex& v : ring) scratch.push_back(candidate.u(v));
            }
            const auto [low, high] = std::minmax_element(scratch.begin(), scratch.end());
            const std::int64_t lowU = *low, highU = *high;
            if (highU - lowU < 2) continue;
            const auto middle = scratch.begin() + static_cast<std::ptrdiff_t>(below);
            std::nth_element(scratch.begin(), middle, scratch.end());
            const std::int64_t at = *middle > lowU && *middle < highU ? *middle : lowU + (highU - lowU) / 2;
            const std::size_t crossed = cutter.count(piece, candidate, at);
            if (!found || crossed < fewest) {
                found = true;
                fewest = crossed;
                axis = candidate;
                c = at;
            }
        }
        return found;
    }

    // A cut through the piece's widest hole; false when every hole spans
    // less than a unit both ways.
    bool chooseHoleCut(const RingSet& piece, Axis& axis, std::int64_t& c) {
        std::int64_t widest = 0;
        for (std::size_t h = 1; h < piece.size(); ++h) {
            for (int horizontal = 0; horizontal < 2; ++horizontal) {
                const Axis candidate{horizontal == 1};
                std::int64_t low = candidate.u(piece[h][0]), high = low;
                for (const Vertex& v : piece[h]) {
                    low = std::min(low, candidate.u(v));
                    high = std::max(high, candidate.u(v));
                }
                if (high - low > widest) {
                    widest = high - low;
                    axis = candidate;
                    c = low + (high - low + 1) / 2;
                }
            }
        }
        return widest > 0;
    }

    // A ring that touches itself is split where it does: a loop turning
    // the other way is a hole, cut through with its outline; the others
    // are pieces of their own.
    void splitAtPinches(Ring& ring) {
        insertTouchingVertices(ring, false);
        insertTouchingVertices(ring, true);
        // Most pieces repeat no point: a sort of one word per vertex tells.
        keys.clear();
        for (const Vertex& v : ring) {
            std::uint64_t key = static_cast<std::uint64_t>(v.x) * 0x9E3779B97F4A7C15u ^
                                static_cast<std::uint64_t>(v.y) * 0xC2B2AE3D27D4EB4Fu;
            if (v.fraction != 0) key ^= (std::uint64_t{v.num} << 32 | v.den) * 0x165667B19E3779F9u + v.fraction;
            keys.push_back(key);
        }
        if (!anyRepeated(keys)) {
            writeExact(ring);
            return;
        }
        std::vector<std::size_t> byPoint(ring.size());
        for (std::size_t i = 0; i < ring.size(); ++i) byPoint[i] = i;
        std::sort(byPoint.begin(), byPoint.end(),
                  [&](std::size_t a, std::size_t b) { return pointBefore(ring[a], ring[b]); });
        std::vector<std::size_t> id(ring.size());
        std::size_t ids = 0;
        for (std::size_t k = 0; k < byPoint.size(); ++k) {
            if (k > 0 && !samePoint(ring[byPoint[k - 1]], ring[byPoint[k]])) ++ids;
            id[byPoint[k]] = ids;
        }
        if (ids + 1 == ring.size()) {
            writeExact(ring);
            return;
        }
        std::vector<Ring> loops;
        std::vector<std::size_t> stackIds, position(ids + 1, ring.size());
        Ring stack;
        for (std::size_t i = 0; i < ring.size(); ++i) {
            const std::size_t at = position[id[i]];
            if (at < stack.size()) {
                Ring loop(stack.begin() + static_cast<std::ptrdiff_t>(at), stack.end());
                for (std::size_t k = at + 1; k < stack.size(); ++k) position[stackIds[k]] = ring.size();
                stack.resize(at + 1);
                stackIds.resize(at + 1);
                stack[at].edge = ring[i].edge;
                tidy(loop);
                if (!loop.empty()) loops.push_back(std::move(loop));
                continue;
            }
            position[id[i]] = stack.size();
            stack.push_back(ring[i]);
            stackIds.push_back(id[i]);
        }
        tidy(stack);
        if (!stack.empty()) loops.push_back(std::move(stack));
        std::vector<RingSet> pieces;
        groupIntoPieces(loops, pieces, grouping, edges, false);
        for (RingSet& piece : pieces) {
            if (piece.size() == 1) writeExact(piece[0]);
            else pending.push_back(std::move(piece));
        }
    }

    // A vertex inside a segment along a line, on that line, makes the ring
    // touch itself there: a hole cut free along a cut line, a notch whose
    // bottom lies on the cut, a stretch of the cut running back over an
    // edge. Each such vertex is inserted into the segment, so that the
    // touch becomes a repeated vertex where the ring is split, and a
    // segment run over twice the two ways becomes a spike that goes.
    void insertTouchingVertices(Ring& ring, bool horizontal) {
        const Axis along{horizontal};  // u: the coordinate the line fixes
        const auto onLineAt = [&](const Vertex& v) { return v.fraction != (horizontal ? 2 : 1); };
        const auto runsAlong = [&](std::size_t i) {
            const Vertex& a = ring[i];
            const Vertex& b = ring[(i + 1) % ring.size()];
            return a.edge == onLine && onLineAt(a) && onLineAt(b) && along.u(a) == along.u(b);
        };
        // The lines that segments run along, then the vertices on them.
        std::vector<std::int64_t>& lines = scratch;
        lines.clear();
        for (std::size_t i = 0; i < ring.size(); ++i) {
            if (runsAlong(i)) lines.push_back(along.u(ring[i]));
        }
        if (lines.empty()) return;
        std::sort(lines.begin(), lines.end());
        std::vector<std::size_t>& sorted = onLines;
        sorted.clear();
        for (std::size_t i = 0; i < ring.size(); ++i) {
            if (onLineAt(ring[i]) && std::binary_search(lines.begin(), lines.end(), along.u(ring[i])))
                sorted.push_back(i);
        }
        const auto before = [&](std::size_t a, std::size_t b) {
            if (along.u(ring[a]) != along.u(ring[b])) return along.u(ring[a]) < along.u(ring[b]);
            return compare(along.v(ring[a]), along.v(ring[b])) < 0;
        };
        std::sort(sorted.begin(), sorted.end(), before);
        // The vertices strictly inside segment i, along the line.
        const auto inside = [&](std::size_t i) {
            const Vertex& a = ring[i];
            const Vertex& b = ring[(i + 1) % ring.size()];
            const bool rising = compare(along.v(a), along.v(b)) < 0;
            const std::size_t low = rising ? i : (i + 1) % ring.size();
            const std::size_t high = rising ? (i + 1) % ring.size() : i;
            return std::make_pair(std::upper_bound(sorted.begin(), sorted.end(), low, before),
                                  std::lower_bound(sorted.begin(), sorted.end(), high, before));
        };
        bool touches = false;
        for (std::size_t i = 0; i < ring.size() && !touches; ++i) {
            if (!runsAlong(i)) continue;
            const auto range = inside(i);
            touches = range.first < range.second;
        }
        if (!touches) return;
        Ring result;
        for (std::size_t i = 0; i < ring.size(); ++i) {
            result.push_back(ring[i]);
            if (!runsAlong(i)) continue;
            const auto [first, last] = inside(i);
            const std::size_t from = result.size();
            for (auto k = first; k < last; ++k) {
                if (result.size() > from && samePoint(result.back(), ring[*k])) continue;
                result.push_back(ring[*k]);
                result.back().edge = onLine;
            }
            if (compare(along.v(ring[i]), along.v(ring[(i + 1) % ring.size()])) > 0)
                std::reverse(result.begin() + static_cast<std::ptrdiff_t>(from), result.end());
        }
        ring.swap(result);
    }

    void writeExact(const Ring& ring) {
        IntRing& points = rounding;
        points.clear();
        for (const Vertex& v : ring) points.push_back(rounded(v));
        clean(points);
        writeRounded(points);
    }

    // Writes the rounded piece, split where rounding made it touch itself
    // into the loops that turn its way; loops turning the other way (holes
    // narrower than the rounding) stay.
    void writeRounded(IntRing& ring) {
        if (ring.empty()) return;
        keys.clear();
        for (const Point& p : ring) {
            keys.push_back(static_cast<std::uint64_t>(p.x) << 32 ^ static_cast<std::uint32_t>(p.y));
        }
        if (!anyRepeated(keys)) {
            emit(ring);
            return;
        }
        IntRing stack;
        for (const Point& p : ring) {
            const auto seen = std::find(stack.begin(), stack.end(), p);
            if (seen != stack.end()) {
                IntRing loop(seen, stack.end());
                clean(loop);
                if (!loop.empty() && signedArea(loop, intXY) > 0) {
                    emit(loop);
                    stack.erase(seen + 1, stack.end());
                    continue;
                }
            }
            stack.push_back(p);
        }
        clean(stack);
        emit(stack);
    }

    // Whether two keys are equal, by a table of twice their number: a
    // false yes (a key equal to the empty mark) only costs the exact search.
    bool anyRepeated(const std::vector<std::uint64_t>& keys) {
        constexpr std::uint64_t empty = ~std::uint64_t{0};
        std::size_t size = 16;
        while (size < 2 * keys.size()) size *= 2;
        table.assign(size, empty);
        for (const std::uint64_t key : keys) {
            if (key == empty) return true;
            std::size_t slot = static_cast<std::size_t>((key * 0x9E3779B97F4A7C15u) >> 32) & (size - 1);
            while (table[slot] != empty) {
                if (table[slot] == key) return true;
                slot = (slot + 1) & (size - 1);
            }
            table[slot] = key;
        }
        return false;
    }

    void emit(const IntRing& ring) {
        if (ring.size() < 3) return;
        out.starts.push_back(out.xs.size());
        for (const Point& p : ring) {
            out.xs.push_back(static_cast<std::int32_t>(p.x));
            out.ys.push_back(static_cast<std::int32_t>(p.y));
        }
    }

    std::size_t limit;
    FracturedPolygon& out;
    std::vector<Edge> edges;
    Cutter cutter;
    std::vector<RingSet> pending;
    std::vector<std::int64_t> scratch;
    std::vector<std::uint64_t> keys, table;
    std::vector<std::size_t> onLines;
    GroupScratch grouping;
    Nesting nesting;
    bool severalRings = false;  // none crosses another or itself: no lobes
    std::vector<Ring> sides[2];
    IntRing rounding;
};

}  // namespace

FractureResult fracturePolygon(const std::int32_t* xs, const std::int32_t* ys,
                               const std::size_t* ringSizes, std::size_t ringCount,
                               std::size_t limit, FracturedPolygon& out) {
    out.clear();
    std::vector<IntRing> rings;
    std::size_t first = 0;
    for (std::size_t r = 0; r < ringCount; ++r) {
        IntRing ring;
        ring.reserve(ringSizes[r]);
        for (std::size_t i = first; i < first + ringSizes[r]; ++i) ring.push_back({xs[i], ys[i]});
        first += ringSizes[r];
        clean(ring);
        if (!ring.empty()) rings.push_back(std::move(ring));
    }
    if (rings.empty()) return FractureResult::noArea;
    Fracturer fracturer(limit, out);
    const FractureResult result = fracturer.run(rings);
    if (result != FractureResult::pieces) {
        out.clear();
        return result;
    }
    if (out.xs.empty()) return FractureResult::noArea;
    out.starts.push_back(out.xs.size());
    return FractureResult::pieces;
}

}  // namespace quillon
