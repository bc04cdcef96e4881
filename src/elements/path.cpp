// PATH: an open polyline with a width. A PATH element holds at most 200
// points; a polyline of up to 200 points is one element.
//
// A longer polyline is split into pieces of at most 200 points that overlap
// by one segment: piece k + 1 starts at the second-to-last point of piece k.
// Every joint of the polyline is then an inner point of one piece and gets
// its proper (mitred) join there, so the pieces together draw the same
// outline as one element through all the points would. The ends that the
// split creates must add nothing to that outline:
//
//  - Path type 0 (flush): a flush end at a split lies across the overlapping
//    segment, which the neighbouring piece covers whole.
//  - Path types 2 (half-width extension) and 4 (explicit extensions): the
//    pieces are written as type 4 with BGNEXTN and ENDEXTN, carrying the
//    polyline's own extension at its two ends (half the width for type 2;
//    0 for type 4, whose extensions the flat interface has no argument for,
//    so they are 0 as a reader assumes for a type-4 path without them) and 0
//    at split ends, which are then flush.
//  - Path type 1 (round ends): every piece keeps type 1, so a split end has
//    a half-disc cap of radius width / 2 around its last point, pointing
//    along the overlapping segment. That cap lies inside the neighbouring
//    piece when the joint at the cap's point turns by at most 90 degrees and
//    the segment past that joint is at least half the width long: the disc
//    around a joint is then covered by the two segments' bands and the
//    untruncated mitre between them. At sharper joints readers bevel the
//    mitre (KLayout cuts it at about half the width past the joint), and a
//    cap there would stick out. So a round path is split only at an
//    overlapping segment whose two joints both meet that condition, looked
//    for backwards from the farthest possible split; a polyline without such
//    a segment in the second half of a piece's reach (short segments turning
//    sharply all along) is split at the farthest point, where a cap may stick
//    out by a few per cent of the half width at a joint sharper than 90
//    degrees.
//  - Any other path type is written unchanged in every piece, as for type 0.
//
// Repeated consecutive points are dropped from a long polyline before it is
// split: a zero-length segment has no direction, so an overlap made of one
// would carry no join. Readers drop such points too, so the outline is the
// same.
#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>
#include <vector>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"
#include "elements/curves.h"
#include "elements/sine_cosine.h"

namespace quillon {

namespace {

constexpr std::int32_t minPoints = 2;
constexpr std::int32_t maxPointsPerElement = 200;
// A round path looks for a safe split no further back than this many points
// before the farthest one.
constexpr std::int32_t roundSplitSearch = maxPointsPerElement / 2;

constexpr std::int32_t pathTypeRound = 1;
constexpr std::int32_t pathTypeHalfWidth = 2;
constexpr std::int32_t pathTypeExtended = 4;

// The polyline of a long path with its repeated consecutive points dropped.
struct Polyline {
    std::vector<std::int32_t> xs;
    std::vector<std::int32_t> ys;

    Polyline(const std::int32_t* x, const std::int32_t* y, std::int32_t n) {
        xs.reserve(static_cast<std::size_t>(n));
        ys.reserve(static_cast<std::size_t>(n));
        for (std::int32_t i = 0; i < n; ++i) {
            if (!xs.empty() && xs.back() == x[i] && ys.back() == y[i]) continue;
            xs.push_back(x[i]);
            ys.push_back(y[i]);
        }
        if (xs.size() == 1) {  // all points equal: kept as a two-point path
            xs.push_back(xs[0]);
            ys.push_back(ys[0]);
        }
    }

    std::int32_t size() const { return static_cast<std::int32_t>(xs.size()); }

    double dx(std::int32_t from, std::int32_t to) const {
        return static_cast<double>(xs[static_cast<std::size_t>(to)]) -
               xs[static_cast<std::size_t>(from)];
    }
    double dy(std::int32_t from, std::int32_t to) const {
        return static_cast<double>(ys[static_cast<std::size_t>(to)]) -
               ys[static_cast<std::size_t>(from)];
    }

    // The joint at point i turns by at most 90 degrees.
    bool gentleJoint(std::int32_t i) const {
        return dx(i - 1, i) * dx(i, i + 1) + dy(i - 1, i) * dy(i, i + 1) >= 0.0;
    }
    bool longSegment(std::int32_t from, std::int32_t to, double halfWidth) const {
        return std::hypot(dx(from, to), dy(from, to)) >= halfWidth;
    }
};

// Whether the round caps of a split with overlapping segment (s, s + 1) lie
// inside the neighbouring pieces: see the top of this file.
bool safeRoundSplit(const Polyline& line, std::int32_t s, double halfWidth) {
    return line.gentleJoint(s) && line.gentleJoint(s + 1) &&
           line.longSegment(s - 1, s, halfWidth) && line.longSegment(s + 1, s + 2, halfWidth);
}

// One PATH element of the points first to first + points - 1, up to its
// ENDEL, which the writer adds with the element's properties; extensions,
// when given, are its BGNEXTN and ENDEXTN values.
void writePathElement(ByteSink& out, const std::int32_t* xs, const std::int32_t* ys,
                      std::int32_t first, std::int32_t points, std::int32_t width,
                                   std::int32_t layer, std::int32_t dataType,
                                   std::int32_t pathType, const std::int32_t* extensions,
                                   std::int32_t elFlags, std::int32_t plex, bool compact) {
    beginElement(out, Record::PATH, elFlags, plex, compact);
    writeInt2Record(out, Record::LAYER, layer);
    writeInt2Record(out, Record::DATATYPE, dataType);
    writeInt2Record(out, Record::PATHTYPE, pathType);
    writeInt4Record(out, Record::WIDTH, width);
    if (extensions != nullptr) {
        writeInt4Record(out, Record::BGNEXTN, extensions[0]);
        writeInt4Record(out, Record::ENDEXTN, extensions[1]);
    }
    writeXYRecord(out, xs, ys, static_cast<std::size_t>(first), static_cast<std::size_t>(points),
                  false);
}

}  // namespace

// OASIS has no vertex limit and no round ends: the whole polyline is one
// PATH, and a round one (type 1) is a flush PATH with a CIRCLE of half the
// width around each end, which is how KLayout writes round paths to OASIS
// (the queued properties go on the PATH). PATH holds half the width as a
// whole number: an odd width is reported and, unless refused, written one
// unit narrower.
void GDSIIWriter::writeOasisPath(const std::int32_t* xs, const std::int32_t* ys, std::int32_t n,
                                 std::int32_t width, std::int32_t layer, std::int32_t dataType,
                                 std::int32_t pathType, std::int32_t beginExtension,
                                 std::int32_t endExtension) {
    const std::uint64_t fullWidth = static_cast<std::uint64_t>(std::llabs(width));
    if (fullWidth % 2 != 0 && !report(messages::oddPathWidth)) return;
    const std::uint64_t half = fullWidth / 2;
    const std::int32_t type = static_cast<std::int16_t>(pathType);
    std::int64_t begin = 0;
    std::int64_t end = 0;
    if (type == pathTypeHalfWidth) {
        begin = end = static_cast<std::int64_t>(half);
    } else if (type == pathTypeExtended) {
        begin = beginExtension;
        end = endExtension;
    }
    const auto l = static_cast<std::uint16_t>(layer);
    const auto d = static_cast<std::uint16_t>(dataType);
    const std::size_t m = static_cast<std::size_t>(n);
    oasis->path(xs, ys, m, half, begin, end, l, d, properties);
    if (type == pathTypeRound && half > 0) {
        oasis->circle(xs[0], ys[0], half, l, d, {});
        oasis->circle(xs[m - 1], ys[m - 1], half, l, d, {});
    }
}

std::int32_t GDSIIWriter::writePath(const std::int32_t* xs, const std::int32_t* ys,
                                    std::int32_t count, std::int32_t width, std::int32_t layer,
                                    std::int32_t dataType, std::int32_t pathType,
                                    std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    // A handle takes the count whole: its paths may have any length.
    const std::int32_t n = handleRules ? count : pointCount(count);
    if (!checkStructureOpen()) return n;
    if (n < minPoints) {
        report(messages::pathTooFewPoints);
        return n;
    }
    // Strict mode: GDSII's path types are 0 (flush), 1 (round), 2 (half-width
    // extension) and 4 (custom extension).
    const bool knownPathType = pathType == 0 || pathType == 1 || pathType == 2 || pathType == 4;
    if ((!handleRules && !strictCount(count)) || !strictNumber16(layer) ||
        !strictNumber16(dataType) || !strictFits(knownPathType, messages::valueOutOfRange) ||
        !strictFits16(elFlags) || !strictWidth(width))
        return n;
    if (!checkPointArrays(xs, ys)) return n;
    if (oasis) {
        writeOasisPath(xs, ys, n, width, layer, dataType, pathType, 0, 0);
        return n;
    }

    if (n <= maxPointsPerElement) {
        writePathElement(out, xs, ys, 0, n, width, layer, dataType, pathType, nullptr, elFlags, plex,
                         compact);
        endElementWithProperties();
        return n;
    }

    writePathPieces(xs, ys, n, width, layer, dataType, pathType, 0, 0, elFlags, plex);
    return n;
}

void GDSIIWriter::writePathPieces(const std::int32_t* xs, const std::int32_t* ys, std::int32_t n,
                                  std::int32_t width, std::int32_t layer, std::int32_t dataType,
                                  std::int32_t pathType, std::int32_t beginExtension,
                                  std::int32_t endExtension, std::int32_t elFlags,
                                  std::int32_t plex) {
    if (oasis) {
        writeOasisPath(xs, ys, n, width, layer, dataType, pathType, beginExtension,
                       endExtension);
        return;
    }
    const Polyline line(xs, ys, n);
    const std::int32_t m = line.size();
    const std::int32_t type16 = static_cast<std::int16_t>(pathType);
    const bool extended = type16 == pathTypeHalfWidth || type16 == pathTypeExtended;
    // The polyline's own extensions at its two ends: half the width for
    // type 2, the given ones for type 4 (0 unless the caller set them).
    const std::int32_t halfExtension = static_cast<std::int32_t>(std::llabs(width) / 2);
    const std::int32_t ownBegin = type16 == pathTypeHalfWidth ? halfExtension : beginExtension;
    const std::int32_t ownEnd = type16 == pathTypeHalfWidth ? halfExtension : endExtension;
    if (m <= maxPointsPerElement) {
        // One element keeps its own type; explicit extensions are written
        // when there are any.
        const std::int32_t own[2] = {beginExtension, endExtension};
        const bool explicitEnds =
            type16 == pathTypeExtended && (beginExtension != 0 || endExtension != 0);
        writePathElement(out, line.xs.data(), line.ys.data(), 0, m, width, layer, dataType,
                         pathType, explicitEnds ? own : nullptr, elFlags, plex, compact);
        endElementWithProperties();
        return;
    }

    const double halfWidth = std::fabs(static_cast<double>(width)) / 2;

    std::int32_t first = 0;
    for (;;) {
        std::int32_t last = std::min(first + maxPointsPerElement - 1, m - 1);
        // Every type splits where both joints of the overlap turn gently:
        // readers bevel a sharp joint, and the flush or round end of a piece
        // would stick out past that bevel.
        if (last < m - 1) {
            for (std::int32_t candidate = last; candidate > last - roundSplitSearch; --candidate) {
                if (safeRoundSplit(line, candidate - 1, halfWidth)) {
                    last = candidate;
                    break;
                }
            }
        }
        const std::int32_t extensions[2] = {first == 0 ? ownBegin : 0,
                                            last == m - 1 ? ownEnd : 0};
        writePathElement(out, line.xs.data(), line.ys.data(), first, last - first + 1, width, layer,
                         dataType, extended ? pathTypeExtended : pathType,
                         extended ? extensions : nullptr, elFlags, plex, compact);
        endElementWithProperties();
        if (last == m - 1) break;
        first = last - 1;
    }
}

// --- Paths with explicit extensions and bends --------------------------------
//
// writePathEx takes any number of points and writes them through
// writePathPieces, so a long polyline is split as above. With a bend radius
// R, every corner whose segments turn by an angle theta is replaced by the
// circular arc of radius R tangent to both segments: it starts and ends
// d = R tan(theta / 2) from the corner, on each segment. A segment must be
// long enough for the arcs of both its corners (d1 + d2 at most its
// length); where one is not, the call reports "Error: Path segments too
// short for the bend radius." and, in strict mode, writes nothing;
// otherwise the corners of every such segment are left sharp, as given.
// The arcs are the tolerance-driven arcs of curves.cpp.

bool GDSIIWriter::checkPathOptions(std::int32_t pathType, std::int32_t beginExtension,
                                   std::int32_t endExtension, std::int32_t layer,
                                   std::int32_t dataType, std::int32_t elFlags) {
    const bool knownPathType = pathType == 0 || pathType == 1 || pathType == 2 || pathType == 4;
    const bool extensionsOk =
        pathType == pathTypeExtended || (beginExtension == 0 && endExtension == 0);
    if (!knownPathType || !extensionsOk || layer < 0 || layer > 0xFFFF || dataType < 0 ||
        dataType > 0xFFFF || elFlags < 0 || elFlags > 0xFFFF) {
        report(messages::valueOutOfRange);
        return false;
    }
    return true;
}

namespace {

// One corner of a bent path: the unit directions in and out of it, the
// sine (cross product) and cosine (dot product) of its turn, and the
// distance from the corner to each tangent point (0: left sharp).
struct Corner {
    double ux, uy, vx, vy;
    double cross, dot;
    double setback;
    bool sharp;
};

}  // namespace

void GDSIIWriter::writePathEx(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                              std::int32_t width, std::int32_t pathType,
                              std::int32_t beginExtension, std::int32_t endExtension,
                              std::int32_t bendRadius, double tolerance, std::int32_t layer,
                              std::int32_t dataType, std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    if (count < minPoints) {
        report(messages::pathTooFewPoints);
        return;
    }
    if (!checkPathOptions(pathType, beginExtension, endExtension, layer, dataType, elFlags))
        return;
    if (bendRadius < 0 || (bendRadius > 0 && !(tolerance > 0.0 && std::isfinite(tolerance)))) {
        report(messages::curveOutOfRange);
        return;
    }
    if (!checkPointArrays(xs, ys)) return;
    if (bendRadius == 0) {
        writePathPieces(xs, ys, count, width, layer, dataType, pathType, beginExtension,
                        endExtension, elFlags, plex);
        return;
    }

    const Polyline line(xs, ys, count);
    const std::int32_t m = line.size();
    const double r = bendRadius;
    std::vector<Corner> corners(static_cast<std::size_t>(m), Corner{});
    std::vector<double> lengths(static_cast<std::size_t>(m - 1));
    // Square roots, not std::hypot: hypot is not correctly rounded
    // everywhere, and the bends must be the same on every platform.
    for (std::int32_t i = 0; i + 1 < m; ++i) {
        const double dx = line.dx(i, i + 1);
        const double dy = line.dy(i, i + 1);
        lengths[static_cast<std::size_t>(i)] = std::sqrt(dx * dx + dy * dy);
    }
    for (std::int32_t i = 1; i + 1 < m; ++i) {
        Corner& c = corners[static_cast<std::size_t>(i)];
        const double in = lengths[static_cast<std::size_t>(i - 1)];
        const double outLength = lengths[static_cast<std::size_t>(i)];
        c.ux = line.dx(i - 1, i) / in;
        c.uy = line.dy(i - 1, i) / in;
        c.vx = line.dx(i, i + 1) / outLength;
        c.vy = line.dy(i, i + 1) / outLength;
        c.cross = c.ux * c.vy - c.uy * c.vx;
        c.dot = c.ux * c.vx + c.uy * c.vy;
        // tan(theta / 2) = sin theta / (1 + cos theta). A straight joint
        // needs no arc; a reversal has none (its setback is endless, so its
        // segments are too short). Both are told by the segments' own
        // coordinates, not by how the unit vectors round (equal products of
        // exact differences round to equal doubles), so that a reversal has
        // the same outcome in every direction.
        const bool collinear = line.dx(i - 1, i) * line.dy(i, i + 1) ==
                               line.dy(i - 1, i) * line.dx(i, i + 1);
        c.setback = !collinear ? r * std::fabs(c.cross) / (1.0 + c.dot)
                    : c.dot > 0.0 ? 0.0
                                  : HUGE_VAL;
    }
    // Each segment holds the setbacks of its two corners.
    bool tooShort = false;
    for (std::int32_t i = 0; i + 1 < m; ++i) {
        const double need = corners[static_cast<std::size_t>(i)].setback +
                            corners[static_cast<std::size_t>(i + 1)].setback;
        if (need > lengths[static_cast<std::size_t>(i)] * (1.0 + 1e-12)) {
            tooShort = true;
            corners[static_cast<std::size_t>(i)].sharp = true;
            corners[static_cast<std::size_t>(i + 1)].sharp = true;
        }
    }
    if (tooShort && !report(messages::pathSegmentsTooShort)) return;

    CurvePointList& points = bentPoints;
    points.clear();
    try {
        points.add(line.xs[0], line.ys[0]);
        for (std::int32_t i = 1; i + 1 < m; ++i) {
            const Corner& c = corners[static_cast<std::size_t>(i)];
            const auto at = static_cast<std::size_t>(i);
            if (c.sharp || c.setback == 0.0) {
                points.add(line.xs[at], line.ys[at]);
                continue;
            }
            const double px = line.xs[at];
            const double py = line.ys[at];
            // The tangent point on the incoming segment, and the centre a
            // radius to its left (a left turn) or right.
            const double tx = px - c.ux * c.setback;
            const double ty = py - c.uy * c.setback;
            const double side = c.cross > 0.0 ? 1.0 : -1.0;
            const double centreX = tx - side * r * c.uy;
            const double centreY = ty + side * r * c.ux;
            const double start = curveAtan2(ty - centreY, tx - centreX);
            const double turn = curveAtan2(c.cross, c.dot);
            const double sweep = std::fabs(turn);
            const std::int64_t chords =
                chordsForTolerance(r, sweep, tolerance, quarterTurns(sweep));
            if (chords < 0) {
                report(messages::curveOutOfRange);
                return;
            }
            points.addEllipseArc(centreX, centreY, r, r, start, start + turn, chords, false);
        }
        points.add(line.xs[static_cast<std::size_t>(m - 1)],
                   line.ys[static_cast<std::size_t>(m - 1)]);
    } catch (const std::bad_alloc&) {
        report(messages::outOfMemory);
        return;
    }
    if (!points.fits) {
        report(messages::coordinateOutOfRange);
        return;
    }
    writePathPieces(points.xs.data(), points.ys.data(), static_cast<std::int32_t>(points.size()),
                    width, layer, dataType, pathType, beginExtension, endExtension, elFlags,
                    plex);
}

}  // namespace quillon
