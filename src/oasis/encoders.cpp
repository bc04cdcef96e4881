#include "oasis/encoders.h"

#include <cmath>
#include <cstring>
#include <numeric>

namespace quillon::oasis {

namespace {

std::uint64_t magnitude(std::int64_t v) {
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

// The octangular direction of d (as the 3-delta numbers it), or -1.
int octangularDirection(Delta d) {
    if (d.y == 0) return d.x >= 0 ? 0 : 2;
    if (d.x == 0) return d.y > 0 ? 1 : 3;
    if (d.x == d.y) return d.x > 0 ? 4 : 6;
    if (d.x == -d.y) return d.x < 0 ? 5 : 7;
    return -1;
}

std::uint64_t octangularLength(Delta d) { return magnitude(d.x != 0 ? d.x : d.y); }

// The step from point i - 1 to point i, the closing edge for i == n.
Delta edge(const std::int32_t* xs, const std::int32_t* ys, std::size_t n, std::size_t i) {
    const std::size_t to = i == n ? 0 : i;
    return {std::int64_t{xs[to]} - xs[i - 1], std::int64_t{ys[to]} - ys[i - 1]};
}

// Whether every edge 1..last alternates between horizontal and vertical,
// the first one horizontal when horizontalFirst.
bool alternates(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                std::size_t last, bool horizontalFirst) {
    bool horizontal = horizontalFirst;
    for (std::size_t i = 1; i <= last; ++i) {
        const Delta d = edge(xs, ys, n, i);
        if (horizontal ? d.y != 0 : d.x != 0) return false;
        horizontal = !horizontal;
    }
    return true;
}

std::uint64_t gcdOf(std::uint64_t a, std::uint64_t b) { return std::gcd(a, b); }

}  // namespace

void putReal(Bytes& out, double value) {
    const double whole = std::nearbyint(value);
    if (whole == value && std::fabs(value) < 9.0e15) {
        putUnsigned(out, value < 0 ? 1 : 0);
        putUnsigned(out, magnitude(static_cast<std::int64_t>(whole)));
        return;
    }
    if (value != 0 && std::isfinite(value)) {
        const double inverse = 1.0 / value;
        const double wholeInverse = std::nearbyint(inverse);
        if (wholeInverse == inverse && std::fabs(inverse) < 9.0e15 &&
            1.0 / wholeInverse == value) {
            putUnsigned(out, value < 0 ? 3 : 2);
            putUnsigned(out, magnitude(static_cast<std::int64_t>(wholeInverse)));
            return;
        }
    }
    putUnsigned(out, 7);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<std::uint8_t>(bits >> (8 * i)));
}

void putString(Bytes& out, const char* text, std::size_t length) {
    putUnsigned(out, length);
    out.insert(out.end(), text, text + length);
}

void put2Delta(Bytes& out, Delta d) {
    const int direction = d.y == 0 ? (d.x >= 0 ? 0 : 2) : (d.y > 0 ? 1 : 3);
    putUnsigned(out, (octangularLength(d) << 2) | static_cast<std::uint64_t>(direction));
}

void put3Delta(Bytes& out, Delta d) {
    putUnsigned(out, (octangularLength(d) << 3) |
                         static_cast<std::uint64_t>(octangularDirection(d)));
}

void putGDelta(Bytes& out, Delta d) {
    const int direction = octangularDirection(d);
    if (direction >= 0) {
        putUnsigned(out, (octangularLength(d) << 4) | (static_cast<std::uint64_t>(direction) << 1));
        return;
    }
    putUnsigned(out, (magnitude(d.x) << 2) | (d.x < 0 ? 2u : 0u) | 1u);
    putSigned(out, d.y);
}

void putPointList(Bytes& out, const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                  bool polygon) {
    // A polygon's edges include the closing one; a path's end at its last
    // point.
    const std::size_t edges = polygon ? n : n - 1;
    // The alternating forms: a path lists every step, a polygon all but
    // its last two edges (the reader adds the vertex between them).
    for (int first = 0; first < 2; ++first) {
        const bool horizontal = first == 0;
        if (polygon && (n < 4 || n % 2 != 0)) break;
        if (!alternates(xs, ys, n, edges, horizontal)) continue;
        const std::size_t listed = polygon ? n - 2 : n - 1;
        putUnsigned(out, static_cast<std::uint64_t>(first));
        putUnsigned(out, listed);
        bool h = horizontal;
        for (std::size_t i = 1; i <= listed; ++i) {
            const Delta d = edge(xs, ys, n, i);
            putSigned(out, h ? d.x : d.y);
            h = !h;
        }
        return;
    }
    bool manhattan = true;
    bool octangular = true;
    for (std::size_t i = 1; i <= edges && octangular; ++i) {
        const Delta d = edge(xs, ys, n, i);
        manhattan = manhattan && (d.x == 0 || d.y == 0);
        octangular = octangularDirection(d) >= 0;
    }
    const std::size_t listed = n - 1;
    const int type = manhattan ? 2 : octangular ? 3 : 4;
    putUnsigned(out, static_cast<std::uint64_t>(type));
    putUnsigned(out, listed);
    for (std::size_t i = 1; i <= listed; ++i) {
        const Delta d = edge(xs, ys, n, i);
        if (type == 2)
            put2Delta(out, d);
        else if (type == 3)
            put3Delta(out, d);
        else
            putGDelta(out, d);
    }
}

void putRepetition(Bytes& out, const Repetition& r) {
    switch (r.kind) {
    case Repetition::none:
        return;
    case Repetition::grid:
        putUnsigned(out, 1);
        putUnsigned(out, r.columns - 2);
        putUnsigned(out, r.rows - 2);
        putUnsigned(out, magnitude(r.step.x));
        putUnsigned(out, magnitude(r.rowStep.y));
        return;
    case Repetition::lattice:
        putUnsigned(out, 8);
        putUnsigned(out, r.columns - 2);
        putUnsigned(out, r.rows - 2);
        putGDelta(out, r.step);
        putGDelta(out, r.rowStep);
        return;
    case Repetition::line:
        if (r.step.y == 0 && r.step.x > 0) {
            putUnsigned(out, 2);
            putUnsigned(out, r.count - 2);
            putUnsigned(out, magnitude(r.step.x));
        } else if (r.step.x == 0 && r.step.y > 0) {
            putUnsigned(out, 3);
            putUnsigned(out, r.count - 2);
            putUnsigned(out, magnitude(r.step.y));
        } else {
            putUnsigned(out, 9);
            putUnsigned(out, r.count - 2);
            putGDelta(out, r.step);
        }
        return;
    case Repetition::arbitrary:
        break;
    }
    // Arbitrary displacements: along x or y when all go one way on one
    // line (types 4 to 7), otherwise as g-deltas (10, 11); on their common
    // grid when it is coarser than one unit.
    const std::size_t n = static_cast<std::size_t>(r.count - 1);
    bool alongX = true;
    bool alongY = true;
    std::uint64_t grid = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const Delta d = r.displacements[i];
        alongX = alongX && d.y == 0 && d.x > 0;
        alongY = alongY && d.x == 0 && d.y > 0;
        grid = gcdOf(gcdOf(grid, magnitude(d.x)), magnitude(d.y));
    }
    if (grid == 0) grid = 1;
    const std::uint64_t base = alongX ? 4 : alongY ? 6 : 10;
    putUnsigned(out, base + (grid > 1 ? 1 : 0));
    putUnsigned(out, r.count - 2);
    if (grid > 1) putUnsigned(out, grid);
    const std::int64_t g = static_cast<std::int64_t>(grid);
    for (std::size_t i = 0; i < n; ++i) {
        const Delta d = r.displacements[i];
        if (alongX)
            putUnsigned(out, magnitude(d.x) / grid);
        else if (alongY)
            putUnsigned(out, magnitude(d.y) / grid);
        else
            putGDelta(out, {d.x / g, d.y / g});
    }
}

}  // namespace quillon::oasis
