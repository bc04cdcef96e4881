// The curve routines that the tolerance-driven shapes share: ellipses and
// rings (curves.cpp), arc paths and the bends of a bent path (path.cpp).
//
// Everything here uses only IEEE double additions, multiplications,
// divisions and square roots (each correctly rounded everywhere) and the
// library's own sine and cosine, so the points are the same on every
// platform.
#pragma once

#include <cstdint>
#include <vector>

namespace quillon {

// The most points one tolerance-driven curve call may compute.
inline constexpr std::int64_t maxCurvePoints = std::int64_t{1} << 24;

// The fewest chords into which an arc of sweep radians (> 0) on a curve
// whose radius is at most radius must be cut so that no chord lies farther
// than tolerance from the curve: the smallest n >= minimum with radius *
// (1 - cos(sweep / 2n)) <= tolerance. -1 when that is more than
// maxCurvePoints.
std::int64_t chordsForTolerance(double radius, double sweep, double tolerance,
                                std::int64_t minimum);

// The fewest chords of an arc of sweep radians that keep each chord within
// a quarter turn: the minimum the tolerance-driven curves use.
std::int64_t quarterTurns(double sweep);

// atan2(y, x) in radians, in (-pi, pi], to within a few units in the last
// place, from basic arithmetic only (the C library's atan2 differs between
// platforms).
double curveAtan2(double y, double x);

// The points of a tolerance-driven curve, rounded to the nearest grid
// point (halves away from zero). fits turns false when a point falls
// outside 32 bits.
struct CurvePointList {
    std::vector<std::int32_t> xs;
    std::vector<std::int32_t> ys;
    bool fits = true;

    void clear() {
        xs.clear();
        ys.clear();
        fits = true;
    }
    std::size_t size() const { return xs.size(); }
    // Appends (x, y) unless it repeats the last point.
    void add(std::int32_t x, std::int32_t y) {
        if (!xs.empty() && xs.back() == x && ys.back() == y) return;
        xs.push_back(x);
        ys.push_back(y);
    }
    void addRounded(double x, double y);

    // Appends the points at parametric angles t0 + i * ((t1 - t0) / chords)
    // of the ellipse (cx + rx cos t, cy + ry sin t), for i = 0 to chords
    // (the last at t1 itself), or to chords - 1 when closed (a full turn
    // whose last point would repeat the first).
    void addEllipseArc(double cx, double cy, double rx, double ry, double t0, double t1,
                       std::int64_t chords, bool closed);
};

}  // namespace quillon
