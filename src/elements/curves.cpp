// Circles, sectors and arcs. GDSII has no curved element, so each is
// approximated by points on the circle and handed to the boundary or path
// writer, which makes its own checks again and writes the records.
//
// The points are part of the interface: hosts rely on them to the last
// unit. The arithmetic below therefore keeps its exact order: the angle is
// advanced by repeated addition (never recomputed as a multiple of the
// step), every coordinate is truncated toward zero, the sector step divides
// the sweep by the whole point count (the slice covers (n - 2) / n of it)
// and the arc step by the point count (the arc covers (n - 1) / n).
#include <cmath>
#include <vector>

#include "core/gdsii_writer.h"
#include "core/messages.h"

namespace quillon {

namespace {

constexpr double twoPi = 6.283185307179586;
constexpr double pi = 3.141592653589793;
constexpr double radiansPerDegree = 0.017453292519943295;
constexpr double oneOver180 = 0.005555555555555556;

constexpr std::int32_t minPoints = 3;
constexpr std::int32_t maxPoints = 199;

// Truncation toward zero into 32 bits; a value outside the int32 range keeps
// the low 32 bits of its truncated value. NaN has no point and gives 0.
std::int32_t truncateCoordinate(double value) {
    if (std::isnan(value)) return 0;
    const double truncated = std::trunc(value);
    if (truncated >= -2147483648.0 && truncated < 2147483648.0)
        return static_cast<std::int32_t>(truncated);
    const double wrapped = std::fmod(truncated, 4294967296.0);  // exact
    const auto low = static_cast<std::int64_t>(wrapped);
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(low));
}

// The temporary point arrays of one curve call, released when it returns.
struct CurvePoints {
    explicit CurvePoints(std::int32_t n)
        : xs(static_cast<std::size_t>(std::max(n, 1))), ys(xs.size()) {}

    // Point i on the circle of radius around the centre at angle theta.
    void set(std::size_t i, std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
             double theta) {
        xs[i] = truncateCoordinate(centerX + radius * std::cos(theta));
        ys[i] = truncateCoordinate(centerY + radius * std::sin(theta));
    }

    std::vector<std::int32_t> xs;
    std::vector<std::int32_t> ys;
};

}  // namespace

// The checks every curve makes before computing its points; the boundary or
// path writer then repeats its own.
static void checkCurve(const GDSIIFile& file, std::int32_t n) {
    if (!file.structureOpen) file.reportError(messages::structureNotOpened);
    if (n > maxPoints) file.reportError(messages::boundaryTooManyPoints);
    if (n < minPoints) file.reportError(messages::boundaryTooFewPoints);
}

void GDSIIWriter::writeCircle(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                              std::int32_t count, std::int32_t layer, std::int32_t dataType,
                              std::int32_t elFlags, std::int32_t plex) {
    const std::int32_t n = pointCount(count);
    checkCurve(file, n);

    CurvePoints points(n);
    const double step = twoPi / n;
    double theta = 0.0;
    for (std::int32_t i = 0; i < n; ++i) {
        points.set(static_cast<std::size_t>(i), centerX, centerY, radius, theta);
        theta += step;
    }
    writeBoundary(points.xs.data(), points.ys.data(), count, layer, dataType, elFlags, plex);
}

void GDSIIWriter::writeSector(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                              double startAngle, double endAngle, std::int32_t count,
                              std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                              std::int32_t plex) {
    const std::int32_t n = pointCount(count);
    checkCurve(file, n);

    CurvePoints points(n);
    points.xs[0] = centerX;
    points.ys[0] = centerY;
    const double step = (((endAngle - startAngle) * pi) / n) * oneOver180;
    double theta = startAngle * radiansPerDegree;
    for (std::int32_t i = 1; i < n; ++i) {
        points.set(static_cast<std::size_t>(i), centerX, centerY, radius, theta);
        theta += step;
    }
    writeBoundary(points.xs.data(), points.ys.data(), count, layer, dataType, elFlags, plex);
}

void GDSIIWriter::writeArc(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                           double startAngle, double endAngle, std::int32_t count,
                           std::int32_t width, std::int32_t layer, std::int32_t dataType,
                           std::int32_t pathType, std::int32_t elFlags, std::int32_t plex) {
    const std::int32_t n = pointCount(count);
    checkCurve(file, n);

    CurvePoints points(n);
    const double theta0 = startAngle * radiansPerDegree;
    const double step = (endAngle * radiansPerDegree - theta0) / n;
    double theta = theta0;
    for (std::int32_t i = 0; i < n; ++i) {
        points.set(static_cast<std::size_t>(i), centerX, centerY, radius, theta);
        theta += step;
    }
    writePath(points.xs.data(), points.ys.data(), count, width, layer, dataType, pathType,
              elFlags, plex);
}

}  // namespace quillon
