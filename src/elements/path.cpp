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
#include <vector>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

constexpr std::int32_t minPoints = 2;
constexpr std::int32_t maxPointsPerElement = 200;
// A round path looks for a safe split no further back than this many points
// before the farthest one.
constexpr std::int32_t roundSplitSearch = maxPointsPerElement / 2;

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

    if (n <= maxPointsPerElement) {
        writePathElement(out, xs, ys, 0, n, width, layer, dataType, pathType, nullptr, elFlags, plex,
                         compact);
        endElementWithProperties();
        return n;
    }

    const Polyline line(xs, ys, n);
    const std::int32_t m = line.size();
    if (m <= maxPointsPerElement) {
        writePathElement(out, line.xs.data(), line.ys.data(), 0, m, width, layer, dataType, pathType,
                         nullptr, elFlags, plex, compact);
        endElementWithProperties();
        return n;
    }

    const std::int32_t type16 = static_cast<std::int16_t>(pathType);
    const bool extended = type16 == pathTypeHalfWidth || type16 == pathTypeExtended;
    const std::int32_t ownExtension =
        type16 == pathTypeHalfWidth ? static_cast<std::int32_t>(std::llabs(width) / 2) : 0;
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
        const std::int32_t extensions[2] = {first == 0 ? ownExtension : 0,
                                            last == m - 1 ? ownExtension : 0};
        writePathElement(out, line.xs.data(), line.ys.data(), first, last - first + 1, width, layer,
                         dataType, extended ? pathTypeExtended : pathType,
                         extended ? extensions : nullptr, elFlags, plex, compact);
        endElementWithProperties();
        if (last == m - 1) break;
        first = last - 1;
    }
    return n;
}

}  // namespace quillon
