// Circles, sectors and arcs. GDSII has no curved element, so each is
// approximated by points on the circle and handed to the boundary or path
// writer, which makes its own checks again and writes the records.
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
#include <vector>

#include "core/gdsii_writer.h"
#include "core/messages.h"
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

}  // namespace quillon
