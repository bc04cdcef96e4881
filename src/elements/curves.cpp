// Circles, sectors and arcs. GDSII has no curved element, so each is
// approximated by points on the circle and handed to the boundary or path
// writer, which makes its own checks again and writes the records.
//
// Two families share this file. The counted curves (writeCircle,
// writeSector, writeArc) come first; the tolerance-driven ones (ellipses,
// rings and their sectors, arc paths) follow at the end of the file, with
// the routines that path.cpp's bends use too (curves.h).
//
// The points are part of the interface: hosts rely on them to the last
// unit. The arithmetic below therefore keeps its exact order: the angle is
// advanced by repeated addition (never recomputed as a multiple of the
// step), every coordinate is truncated toward zero, the sector step divides
// the sweep by the whole point count (the slice covers (n - 2) / n of it)
// and the arc step by the point count (the arc covers (n - 1) / n). Sine and
// cosine are the library's own, so the points are the same on every
// platform.
#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "elements/curves.h"
#include "elements/sine_cosine.h"

namespace quillon {

namespace {

constexpr double twoPi = 6.283185307179586;
constexpr double pi = 3.141592653589793;
constexpr double radiansPerDegree = 0.017453292519943295;
constexpr double oneOver180 = 0.005555555555555556;

constexpr std::int32_t minPoints = 3;
constexpr std::int32_t maxPoints = 199;

// Truncation toward zero into 32 bits; a value outside the int32 range keeps
// the low 32 bits of its truncated value (and clears fits). NaN has no point
// and gives 0.
std::int32_t truncateCoordinate(double value, bool& fits) {
    // The common case first: the conversion truncates.
    if (value > -2147483649.0 && value < 2147483648.0) return static_cast<std::int32_t>(value);
    if (std::isnan(value)) {
        fits = false;
        return 0;
    }
    const double truncated = std::trunc(value);
    if (truncated >= -2147483648.0 && truncated < 2147483648.0)
        return static_cast<std::int32_t>(truncated);
    fits = false;
    const double wrapped = std::fmod(truncated, 4294967296.0);  // exact
    const auto low = static_cast<std::int64_t>(wrapped);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(low));
}

// The temporary point arrays of one curve call, on the circle of radius
// around the centre, released when the call returns: on the stack up to
// maxPoints + 1 points (every count a call may pass but for one that the
// host lets through after an error report), on the heap beyond.
class CurvePoints {
public:
    CurvePoints(std::int32_t n, std::int32_t centerX, std::int32_t centerY, std::int32_t radius)
        : count(n), centerX(centerX), centerY(centerY), radius(radius) {
        if (n > held) {
            heapXs.resize(static_cast<std::size_t>(n));
            heapYs.resize(static_cast<std::size_t>(n));
            xs = heapXs.data();
            ys = heapYs.data();
        }
    }
    CurvePoints(const CurvePoints&) = delete;
    CurvePoints& operator=(const CurvePoints&) = delete;

    // Points first to count - 1 at theta, theta + step, ..., each angle the
    // previous one plus step.
    //
    // Each coordinate is the truncation of centre + radius * v, v the
    // correctly rounded cosine or sine. The estimate decides it almost
    // always (certainCoordinate); sineCosine() computes v only when the
    // coordinate lies within about 2^-47 of the radius from an integer, or
    // exactly on one.
    //
    // The points go in batches: the angles first (the same repeated
    // addition, in the same order), then the estimates two at a time
    // (estimateInRangePair(), the scalar estimate bit for bit; an odd batch
    // pads with an unused angle 0), then the decisions. So the values are
    // those of one point at a time.
    void fillArc(std::int32_t first, double theta, double step) {
        const double cx = centerX;
        const double cy = centerY;
        const double r = radius;
        constexpr std::int32_t batch = 16;
        double angles[batch + 1];
        SineCosineEstimate estimates[batch + 1];
        for (std::int32_t i = first; i < count; i += batch) {
            const std::int32_t m = std::min(batch, count - i);
            for (std::int32_t t = 0; t < m; ++t) {
                angles[t] = theta;
                theta += step;
            }
            angles[m] = 0.0;  // the partner of an odd batch's last angle
            for (std::int32_t t = 0; t < m; t += 2) estimateInRangePair(angles + t, estimates + t);
            for (std::int32_t t = 0; t < m; ++t) {
                const auto at = static_cast<std::size_t>(i + t);
                const SineCosineEstimate& e = estimates[t];
                bool doneX = false;
                bool doneY = false;
                if (std::fabs(angles[t]) <= 65536.0) {  // the estimate's range, NaN outside
                    double x = 0.0;
                    double y = 0.0;
                    doneX = certainCoordinate(cx, r, e.cosine, e.cosineError, x);
                    doneY = certainCoordinate(cy, r, e.sine, e.sineError, y);
                    if (doneX) xs[at] = truncateCoordinate(x, fit);
                    if (doneY) ys[at] = truncateCoordinate(y, fit);
                }
                if (!doneX || !doneY) {
                    const SineCosine sc = sineCosine(angles[t]);
                    if (!doneX) xs[at] = truncateCoordinate(cx + r * sc.cosine, fit);
                    if (!doneY) ys[at] = truncateCoordinate(cy + r * sc.sine, fit);
                }
            }
        }
    }

    // Point 0 is the centre itself, copied with no arithmetic.
    void setCentreFirst() {
        xs[0] = centerX;
        ys[0] = centerY;
    }

    // Whether every point computed so far fits 32 bits.
    bool fits() const { return fit; }

private:
    static constexpr std::int32_t held = maxPoints + 1;
    std::int32_t xsHeld[held];
    std::int32_t ysHeld[held];
    std::vector<std::int32_t> heapXs;
    std::vector<std::int32_t> heapYs;

public:
    std::int32_t* xs = xsHeld;
    std::int32_t* ys = ysHeld;

private:
    bool fit = true;
    std::int32_t count;
    std::int32_t centerX;
    std::int32_t centerY;
    std::int32_t radius;
};

}  // namespace

// The checks every curve makes before computing its points; the boundary or
// path writer then repeats its own.
bool GDSIIWriter::checkCurve(std::int32_t n) {
    if (!checkStructureOpen()) return false;
    if (n > maxPoints && !report(messages::boundaryTooManyPoints)) return false;
    if (n < minPoints && !report(messages::boundaryTooFewPoints)) return false;
    return true;
}

void GDSIIWriter::writeCircle(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                              std::int32_t count, std::int32_t layer, std::int32_t dataType,
                              std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    const std::int32_t n = pointCount(count);
    if (!checkCurve(n)) return;

    CurvePoints points(n, centerX, centerY, radius);
    points.fillArc(0, 0.0, twoPi / n);
    if (!strictFits(points.fits(), messages::coordinateOutOfRange)) return;
    writeBoundary(points.xs, points.ys, count, layer, dataType, elFlags, plex);
}

void GDSIIWriter::writeSector(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                              double startAngle, double endAngle, std::int32_t count,
                              std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                              std::int32_t plex) {
    ElementCall call(*this);
    const std::int32_t n = pointCount(count);
    if (!checkCurve(n)) return;
    if (!strictFinite(startAngle) || !strictFinite(endAngle)) return;

    CurvePoints points(n, centerX, centerY, radius);
    points.setCentreFirst();
    const double step = (((endAngle - startAngle) * pi) / n) * oneOver180;
    points.fillArc(1, startAngle * radiansPerDegree, step);
    if (!strictFits(points.fits(), messages::coordinateOutOfRange)) return;
    writeBoundary(points.xs, points.ys, count, layer, dataType, elFlags, plex);
}

void GDSIIWriter::writeArc(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                           double startAngle, double endAngle, std::int32_t count,
                           std::int32_t width, std::int32_t layer, std::int32_t dataType,
                           std::int32_t pathType, std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    const std::int32_t n = pointCount(count);
    if (!checkCurve(n)) return;
    if (!strictFinite(startAngle) || !strictFinite(endAngle)) return;

    CurvePoints points(n, centerX, centerY, radius);
    const double theta0 = startAngle * radiansPerDegree;
    points.fillArc(0, theta0, (endAngle * radiansPerDegree - theta0) / n);
    if (!strictFits(points.fits(), messages::coordinateOutOfRange)) return;
    writePath(points.xs, points.ys, count, width, layer, dataType, pathType,
              elFlags, plex);
}

// --- Curves by tolerance ----------------------------------------------------
//
// The number of points follows from the tolerance (the greatest distance
// between a chord and the curve, in database units), the angles are
// covered exactly (the first and last points lie at the start and end
// angles), and every coordinate is rounded to the nearest grid point.
// Ellipses use the parametric angle t of (cx + rx cos t, cy + ry sin t),
// which for a circle is the polar angle. An ellipse is the image of a
// circle under a map that stretches no distance by more than max(rx, ry),
// so the chords of a circle of that radius bound the ellipse's chords too.

namespace {

// value rounded to the nearest integer, halves away from zero (as
// std::round, without its library call): exact for |value| < 2^62, which
// every curve coordinate is (centre and radius are 32-bit integers).
inline double roundHalfAway(double value) {
    const double whole = static_cast<double>(static_cast<std::int64_t>(value));  // truncated
    const double part = value - whole;                                              // exact
    return part >= 0.5 ? whole + 1.0 : part <= -0.5 ? whole - 1.0 : whole;
}

// Whether round(centre + radius * v), each operation rounded to double, is
// the same for every v in [value - error, value + error]; if so, at gets
// it, rounded. The same monotonicity argument as certainCoordinate().
inline bool certainRounded(double centre, double radius, double value, double error,
                           double& at) {
    if (!certainAfter(centre, radius, value, error, roundHalfAway, at)) return false;
    at = roundHalfAway(at);
    return true;
}

constexpr double halfPi = 1.5707963267948966;

// The start and end of a sweep in radians. The degrees are reduced first
// (fmod is exact), so that a start of 1e17 degrees keeps its precision;
// the end is reduced the same way and moved by whole turns to lie the
// sweep away from the start, and a sweep of a full turn or more ends one
// turn on. Angles within one turn of 0 are taken as they are.
void sweepRadians(double startAngle, double endAngle, double& t0, double& t1) {
    const double degrees = endAngle - startAngle;
    const double start = std::fmod(startAngle, 360.0);
    t0 = start * radiansPerDegree;
    if (std::fabs(degrees) >= 360.0) {
        t1 = t0 + (degrees > 0 ? twoPi : -twoPi);
        return;
    }
    double end = std::fmod(endAngle, 360.0);
    end += 360.0 * std::round((start + degrees - end) / 360.0);
    t1 = end * radiansPerDegree;
}

// The points of an open arc end where they began when the end rounds onto
// the start (a sweep just short of a full turn): that last point goes.
void dropRepeatedStart(CurvePointList& points, std::size_t first) {
    if (points.size() > first + 2 && points.xs.back() == points.xs[first] &&
        points.ys.back() == points.ys[first]) {
        points.xs.pop_back();
        points.ys.pop_back();
    }
}

}  // namespace

std::int64_t quarterTurns(double sweep) {
    const double quarters = std::ceil(sweep / halfPi - 1e-12);
    return quarters < 1.0 ? 1 : static_cast<std::int64_t>(quarters);
}

std::int64_t chordsForTolerance(double radius, double sweep, double tolerance,
                                std::int64_t minimum) {
    // A chord spanning angle h lies within radius * (1 - cos(h / 2)) <=
    // radius * h^2 / 8 of the arc, so h = sqrt(8 tolerance / radius) always
    // keeps within the tolerance; the count is then lowered while one
    // chord fewer still does (1 - cos x computed as 2 sin^2(x / 2)).
    const double h = std::sqrt(8.0 * tolerance / radius);
    const double estimate = std::ceil(sweep / h);
    if (!(estimate <= static_cast<double>(maxCurvePoints))) return -1;
    std::int64_t n = std::max(minimum, static_cast<std::int64_t>(estimate));
    const auto within = [&](std::int64_t chords) {
        // The estimate (deterministic as well) is close enough for a count.
        const double s = estimateInRange(sweep / (4.0 * static_cast<double>(chords))).sine;
        return radius * (2.0 * s * s) <= tolerance;
    };
    for (int tries = 0; tries < 64 && n > minimum && within(n - 1); ++tries) --n;
    return n > maxCurvePoints ? -1 : n;
}

double curveAtan2(double y, double x) {
    const double ax = std::fabs(x);
    const double ay = std::fabs(y);
    if (ax == 0.0 && ay == 0.0) return 0.0;
    const bool steep = ay > ax;
    double z = steep ? ax / ay : ay / ax;  // in [0, 1]
    // atan z = 2 atan(z / (1 + sqrt(1 + z^2))): twice, down to z <= 0.2,
    // where the series to z^25 leaves less than 2^-60.
    z = z / (1.0 + std::sqrt(1.0 + z * z));
    z = z / (1.0 + std::sqrt(1.0 + z * z));
    const double z2 = z * z;
    double series = 0.0;
    for (int k = 25; k >= 3; k -= 2) series = (k % 4 == 1 ? 1.0 : -1.0) / k + z2 * series;
    double a = 4.0 * (z + z * z2 * series);
    if (steep) a = halfPi - a;
    if (x < 0.0) a = pi - a;
    return y < 0.0 ? -a : a;
}

void CurvePointList::addRounded(double x, double y) {
    // Far outside 32 bits (a bend's centre may be): std::round, which also
    // takes what the 64-bit conversion cannot.
    const bool near = std::fabs(x) < 0x1p61 && std::fabs(y) < 0x1p61;
    const double rx = near ? roundHalfAway(x) : std::round(x);
    const double ry = near ? roundHalfAway(y) : std::round(y);
    if (!(rx >= -2147483648.0 && rx <= 2147483647.0 && ry >= -2147483648.0 &&
          ry <= 2147483647.0)) {
        fits = false;
        return;
    }
    add(static_cast<std::int32_t>(rx), static_cast<std::int32_t>(ry));
}

void CurvePointList::addEllipseArc(double cx, double cy, double rx, double ry, double t0,
                                   double t1, std::int64_t chords, bool closed) {
    const std::size_t first = xs.size();
    const std::int64_t points = closed ? chords : chords + 1;
    const double step = (t1 - t0) / static_cast<double>(chords);
    xs.reserve(xs.size() + static_cast<std::size_t>(points));
    ys.reserve(ys.size() + static_cast<std::size_t>(points));
    // In batches, the estimates two at a time as in fillArc().
    constexpr std::int64_t batch = 16;
    double angles[batch + 1];
    SineCosineEstimate estimates[batch + 1];
    const bool inRange = std::fabs(t0) <= 65536.0 && std::fabs(t1) <= 65536.0;
    for (std::int64_t i = 0; i < points; i += batch) {
        const std::int64_t m = std::min(batch, points - i);
        for (std::int64_t k = 0; k < m; ++k) {
            const std::int64_t j = i + k;
            angles[k] = j == chords ? t1 : t0 + step * static_cast<double>(j);
        }
        angles[m] = 0.0;  // the partner of an odd batch's last angle
        if (inRange)
            for (std::int64_t k = 0; k < m; k += 2) estimateInRangePair(angles + k, estimates + k);
        for (std::int64_t k = 0; k < m; ++k) {
            double x = 0.0;
            double y = 0.0;
            bool done = false;
            if (inRange) {
                const SineCosineEstimate& e = estimates[k];
                done = certainRounded(cx, rx, e.cosine, e.cosineError, x) &&
                       certainRounded(cy, ry, e.sine, e.sineError, y);
            }
            if (!done) {
                const SineCosine sc = sineCosine(angles[k]);
                x = cx + rx * sc.cosine;
                y = cy + ry * sc.sine;
            }
            addRounded(x, y);
        }
    }
    // A closed curve whose rounding brought its last point onto the first.
    while (closed && xs.size() > first + 1 && xs.back() == xs[first] && ys.back() == ys[first]) {
        xs.pop_back();
        ys.pop_back();
    }
}

void GDSIIWriter::writeEllipse(std::int32_t centerX, std::int32_t centerY, std::int32_t radiusX,
                               std::int32_t radiusY, std::int32_t innerRadiusX,
                               std::int32_t innerRadiusY, double startAngle, double endAngle,
                               double tolerance, std::int32_t layer, std::int32_t dataType,
                               std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    // New to this library: always checked, as in strict mode.
    if (layer < 0 || layer > 0xFFFF || dataType < 0 || dataType > 0xFFFF || elFlags < 0 ||
        elFlags > 0xFFFF) {
        report(messages::valueOutOfRange);
        return;
    }
    if (!std::isfinite(startAngle) || !std::isfinite(endAngle) || !std::isfinite(tolerance)) {
        report(messages::notFinite);
        return;
    }
    const bool hollow = innerRadiusX != 0 || innerRadiusY != 0;
    const bool shapeOk = radiusX > 0 && radiusY > 0 && tolerance > 0.0 &&
                         startAngle != endAngle &&
                         (!hollow || (innerRadiusX > 0 && innerRadiusY > 0 &&
                                      innerRadiusX < radiusX && innerRadiusY < radiusY));
    if (!shapeOk) {
        report(messages::curveOutOfRange);
        return;
    }
    const double cx = centerX;
    const double cy = centerY;
    if (cx + radiusX > 2147483647.0 || cx - radiusX < -2147483648.0 ||
        cy + radiusY > 2147483647.0 || cy - radiusY < -2147483648.0) {
        report(messages::coordinateOutOfRange);
        return;
    }

    const bool full = std::fabs(endAngle - startAngle) >= 360.0;
    double t0, t1;
    sweepRadians(startAngle, endAngle, t0, t1);
    const double sweep = std::fabs(t1 - t0);
    const std::int64_t minimum = quarterTurns(sweep);
    // A ring's chords stay within a quarter of its width of the curves, so
    // that the outer ones never reach the inner ones.
    if (hollow) {
        const double width = std::min(radiusX - innerRadiusX, radiusY - innerRadiusY);
        tolerance = std::min(tolerance, width / 4);
    }
    const std::int64_t outer =
        chordsForTolerance(std::max<double>(radiusX, radiusY), sweep, tolerance, minimum);
    const std::int64_t inner =
        hollow ? chordsForTolerance(std::max<double>(innerRadiusX, innerRadiusY), sweep,
                                    tolerance, minimum)
               : 0;
    if (outer < 0 || inner < 0) {
        report(messages::curveOutOfRange);
        return;
    }

    CurvePointList& points = curvePoints;
    points.clear();
    try {
        if (full && hollow) {
            // The outer ellipse with the inner one as its hole.
            points.addEllipseArc(cx, cy, radiusX, radiusY, t0, t1, outer, true);
            const auto outerCount = static_cast<std::int32_t>(points.size());
            points.addEllipseArc(cx, cy, innerRadiusX, innerRadiusY, t0, t1, inner, true);
            const std::int32_t counts[2] = {
                outerCount, static_cast<std::int32_t>(points.size()) - outerCount};
            writePolygonRings(points.xs.data(), points.ys.data(), counts, 2, layer, dataType,
                              elFlags, plex);
            return;
        }
        if (!hollow && !full) points.add(centerX, centerY);
        const std::size_t arc = points.size();
        points.addEllipseArc(cx, cy, radiusX, radiusY, t0, t1, outer, full);
        if (!full) dropRepeatedStart(points, arc);
        if (hollow) {
            const std::size_t back = points.size();
            points.addEllipseArc(cx, cy, innerRadiusX, innerRadiusY, t1, t0, inner, false);
            dropRepeatedStart(points, back);
        }
    } catch (const std::bad_alloc&) {
        report(messages::outOfMemory);
        return;
    }
    writePolygon(points.xs.data(), points.ys.data(), static_cast<std::int32_t>(points.size()),
                 layer, dataType, elFlags, plex);
}

void GDSIIWriter::writeArcPath(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                               double startAngle, double endAngle, double tolerance,
                               std::int32_t width, std::int32_t pathType,
                               std::int32_t beginExtension, std::int32_t endExtension,
                               std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                               std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    if (!checkPathOptions(pathType, beginExtension, endExtension, layer, dataType, elFlags))
        return;
    if (!std::isfinite(startAngle) || !std::isfinite(endAngle) || !std::isfinite(tolerance)) {
        report(messages::notFinite);
        return;
    }
    if (radius <= 0 || !(tolerance > 0.0) || startAngle == endAngle) {
        report(messages::curveOutOfRange);
        return;
    }
    const bool full = std::fabs(endAngle - startAngle) >= 360.0;
    double t0, t1;
    sweepRadians(startAngle, endAngle, t0, t1);
    const double sweep = std::fabs(t1 - t0);
    const std::int64_t chords = chordsForTolerance(radius, sweep, tolerance, quarterTurns(sweep));
    if (chords < 0) {
        report(messages::curveOutOfRange);
        return;
    }
    CurvePointList& points = curvePoints;
    points.clear();
    try {
        points.addEllipseArc(centerX, centerY, radius, radius, t0, t1, chords, false);
        if (full && pathType == 0 && points.size() > 2) {
            // A flush full turn ends on its start, and two flush ends there
            // would leave a notch: it runs on over its first chord instead,
            // so that the seam is a mitred joint like every other point.
            points.xs.back() = points.xs[0];
            points.ys.back() = points.ys[0];
            points.add(points.xs[1], points.ys[1]);
        }
    } catch (const std::bad_alloc&) {
        report(messages::outOfMemory);
        return;
    }
    if (!points.fits) {
        report(messages::coordinateOutOfRange);
        return;
    }
    writePathPieces(points.xs.data(), points.ys.data(), static_cast<std::int32_t>(points.size()),
                    width, layer, dataType, pathType, beginExtension, endExtension, elFlags, plex);
}

}  // namespace quillon
