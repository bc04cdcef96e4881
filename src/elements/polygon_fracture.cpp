// Fracturing by recursive axis-parallel cuts. A piece of more than the
// limit is cut across its longer side at the median coordinate of its
// vertices, and each side of the cut is split into its connected parts, so
// that a comb cut across its teeth gives one piece per tooth rather than one
// piece holding all of them.
//
// One cut, at u = c (u is x for a vertical line, y for a horizontal one):
// the line is taken at c - epsilon, so that no vertex lies on it: a vertex
// with u >= c is on the high side, one with u < c on the low side. The
// outline is then cut into chains, each on one side, at the points where
// its edges cross the line. Along the line the polygon's inside and outside
// alternate at every crossing, so sorting the crossings along the line and
// pairing them (first with second, third with fourth, ...) gives the
// stretches of the line that lie inside; each side's parts are the cycles
// of its chains joined by those stretches. This holds for either
// orientation, since the pairing comes from the order along the line.
//
// Two crossings at the same point of the line at c (an edge end on the line
// and the next edge, two edges through one vertex) are ordered by where
// they cross the line at c - epsilon, that is by descending slope; all of
// it in exact integer arithmetic, so the order is the same on every
// platform. Only the written crossing point is rounded, once, to the
// nearest grid point, and both sides use that same point.
#include "elements/polygon_fracture.h"

#include <algorithm>
#include <utility>

namespace quillon {

namespace {

using Point = FracturePoint;
using Ring = std::vector<Point>;

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

// The turn at b on the way a, b, c: 0 when the three are collinear.
int turn(const Point& a, const Point& b, const Point& c) {
    return compareProducts(b.x - a.x, c.y - b.y, b.y - a.y, c.x - b.x);
}

bool operator==(const Point& a, const Point& b) { return a.x == b.x && a.y == b.y; }

// Drops repeated vertices and vertices on the straight line between their
// neighbours (spikes included: they enclose nothing), all round the ring.
void clean(Ring& ring) {
    std::size_t kept = 0;
    for (const Point& p : ring) {
        if (kept > 0 && ring[kept - 1] == p) continue;
        while (kept >= 2 && turn(ring[kept - 2], ring[kept - 1], p) == 0) --kept;
        ring[kept++] = p;
    }
    ring.resize(kept);
    std::size_t first = 0;
    while (ring.size() - first >= 3) {
        const std::size_t last = ring.size() - 1;
        if (ring[last] == ring[first] || turn(ring[last - 1], ring[last], ring[first]) == 0) {
            ring.pop_back();
        } else if (turn(ring[last], ring[first], ring[first + 1]) == 0) {
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

// Reads and makes points with u along the cut's axis and v across it.
struct Axis {
    bool horizontal;  // cut line u = c with u the y coordinate
    std::int64_t u(const Point& p) const { return horizontal ? p.y : p.x; }
    std::int64_t v(const Point& p) const { return horizontal ? p.x : p.y; }
    Point make(std::int64_t u, std::int64_t v) const {
        return horizontal ? Point{v, u} : Point{u, v};
    }
};

// Where the edge from low (u < c) to high (u >= c) crosses u = c:
// v = whole + remainder / du exactly, 0 <= remainder < du.
struct Crossing {
    std::size_t edge;  // the edge from vertex edge to vertex edge + 1
    std::int64_t whole;
    std::uint64_t remainder;
    std::int64_t du;  // > 0
    std::int64_t dv;  // of the edge taken from its low end to its high end
    Point point;      // rounded to the grid
};

Crossing makeCrossing(const Axis& axis, std::size_t edge, const Point& low, const Point& high,
                      std::int64_t c) {
    const std::int64_t du = axis.u(high) - axis.u(low);
    const std::int64_t dv = axis.v(high) - axis.v(low);
    const std::int64_t t = c - axis.u(low);  // 0 < t <= du < 2^32
    // dv = q * du + r with 0 <= r < du, so t * dv / du = t * q + t * r / du,
    // where t * r < 2^64.
    std::int64_t q = dv / du, r = dv % du;
    if (r < 0) {
        r += du;
        --q;
    }
    const std::uint64_t product = static_cast<std::uint64_t>(t) * static_cast<std::uint64_t>(r);
    const std::uint64_t divisor = static_cast<std::uint64_t>(du);
    Crossing crossing{edge, axis.v(low) + t * q + static_cast<std::int64_t>(product / divisor),
                      product % divisor, du, dv, {}};
    const std::int64_t rounded =
        crossing.whole + (crossing.remainder >= divisor - crossing.remainder ? 1 : 0);
    crossing.point = axis.make(c, rounded);
    return crossing;
}

// Order along the line at c - epsilon: by the exact crossing at c, then by
// descending slope dv / du, then by edge for a fixed order of coincident
// edges.
bool alongLine(const Crossing& a, const Crossing& b) {
    if (a.whole != b.whole) return a.whole < b.whole;
    const int fraction = compareUnsigned(
        multiplyUnsigned(a.remainder, static_cast<std::uint64_t>(b.du)),
        multiplyUnsigned(b.remainder, static_cast<std::uint64_t>(a.du)));
    if (fraction != 0) return fraction < 0;
    const int slope = compareProducts(a.dv, b.du, b.dv, a.du);
    if (slope != 0) return slope > 0;
    return a.edge < b.edge;
}

// Cuts ring at u = c and appends the cleaned parts of both sides to parts.
void cut(const Ring& ring, const Axis& axis, std::int64_t c, std::vector<Ring>& parts) {
    const std::size_t n = ring.size();
    const auto high = [&](std::size_t i) { return axis.u(ring[i % n]) >= c; };

    std::vector<Crossing> crossings;
    for (std::size_t i = 0; i < n; ++i) {
        const bool from = high(i), to = high(i + 1);
        if (from == to) continue;
        const Point& a = ring[i];
        const Point& b = ring[(i + 1) % n];
        crossings.push_back(from ? makeCrossing(axis, i, b, a, c) : makeCrossing(axis, i, a, b, c));
    }
    const std::size_t m = crossings.size();
    if (m == 0) {
        parts.push_back(ring);
        return;
    }

    // Chain k runs from crossing k to crossing k + 1 (mod m) through the
    // vertices after crossing k's edge up to crossing k + 1's edge.
    std::vector<std::size_t> order(m), partner(m);
    for (std::size_t k = 0; k < m; ++k) order[k] = k;
    std::sort(order.begin(), order.end(),
              [&](std::size_t a, std::size_t b) { return alongLine(crossings[a], crossings[b]); });
    for (std::size_t k = 0; k + 1 < m; k += 2) {
        partner[order[k]] = order[k + 1];
        partner[order[k + 1]] = order[k];
    }
    const auto chainHigh = [&](std::size_t k) { return high(crossings[k].edge + 1); };

    std::vector<bool> visited(m, false);
    for (int side = 0; side < 2; ++side) {
        for (std::size_t start = 0; start < m; ++start) {
            if (visited[start] || chainHigh(start) != (side == 1)) continue;
            Ring part;
            // Enter chain k at crossing at; forward when at == k.
            std::size_t k = start, at = start;
            while (!visited[k]) {
                visited[k] = true;
                const std::size_t next = (k + 1) % m;
                const bool forward = at == k;
                const std::size_t exit = forward ? next : k;
                part.push_back(crossings[at].point);
                std::size_t first = crossings[k].edge + 1, last = crossings[next].edge;
                if (last < first) last += n;  // the chain wraps past vertex 0
                if (forward) {
                    for (std::size_t i = first; i <= last; ++i) part.push_back(ring[i % n]);
                } else {
                    for (std::size_t i = last + 1; i-- > first;) part.push_back(ring[i % n]);
                }
                part.push_back(crossings[exit].point);
                // Along the line to the partner, and into its chain on this side.
                at = partner[exit];
                k = chainHigh(at) == (side == 1) ? at : (at + m - 1) % m;
            }
            clean(part);
            if (!part.empty()) parts.push_back(std::move(part));
        }
    }
}

// The cut for ring: across its longer side, at the median coordinate of its
// vertices when that lies strictly inside its extent, so that both sides
// shrink. A median on the extent's edge (more than half the vertices on the
// line of the cut before, as after cutting across many spikes) would shave
// off one unit per cut, billions of cuts for one polygon: the cut then
// halves the extent instead. False when the ring spans less than two units
// both ways.
bool chooseCut(const Ring& ring, Axis& axis, std::int64_t& c, std::vector<std::int64_t>& scratch) {
    std::int64_t minX = ring[0].x, maxX = minX, minY = ring[0].y, maxY = minY;
    for (const Point& p : ring) {
        minX = std::min(minX, p.x);
        maxX = std::max(maxX, p.x);
        minY = std::min(minY, p.y);
        maxY = std::max(maxY, p.y);
    }
    axis.horizontal = maxY - minY > maxX - minX;
    const std::int64_t low = axis.horizontal ? minY : minX;
    const std::int64_t high = axis.horizontal ? maxY : maxX;
    if (high - low < 2) return false;
    scratch.clear();
    for (const Point& p : ring) scratch.push_back(axis.u(p));
    const auto middle = scratch.begin() + static_cast<std::ptrdiff_t>(scratch.size() / 2);
    std::nth_element(scratch.begin(), middle, scratch.end());
    c = *middle > low && *middle < high ? *middle : low + (high - low) / 2;
    return true;
}

}  // namespace

bool fracturePolygon(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                     std::size_t limit, FracturedPolygon& out) {
    out.clear();
    std::vector<Ring> pending(1);
    pending[0].reserve(n);
    for (std::size_t i = 0; i < n; ++i) pending[0].push_back({xs[i], ys[i]});
    clean(pending[0]);
    if (pending[0].empty()) return true;  // encloses nothing

    std::vector<Ring> parts;
    std::vector<std::int64_t> scratch;
    while (!pending.empty()) {
        Ring ring = std::move(pending.back());
        pending.pop_back();
        if (ring.size() <= limit) {
            out.starts.push_back(out.xs.size());
            for (const Point& p : ring) {
                out.xs.push_back(static_cast<std::int32_t>(p.x));
                out.ys.push_back(static_cast<std::int32_t>(p.y));
            }
            continue;
        }
        Axis axis{false};
        std::int64_t c = 0;
        if (!chooseCut(ring, axis, c, scratch)) return false;
        parts.clear();
        cut(ring, axis, c, parts);
        // Last in, first out: the first part is written first.
        for (std::size_t i = parts.size(); i-- > 0;) pending.push_back(std::move(parts[i]));
    }
    out.starts.push_back(out.xs.size());
    return true;
}

}  // namespace quillon
