// PATH: an open polyline with a width. A PATH element holds at most 200
// points, so a longer polyline is written as consecutive elements, each
// starting at the point where the previous one ended, so that the drawn
// line stays connected.
#include <algorithm>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

constexpr std::int32_t minPoints = 2;
constexpr std::int32_t maxPointsPerElement = 200;

}  // namespace

std::int32_t GDSIIWriter::writePath(const std::int32_t* xs, const std::int32_t* ys,
                                    std::int32_t count, std::int32_t width, std::int32_t layer,
                                    std::int32_t dataType, std::int32_t pathType,
                                    std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    const std::int32_t n = pointCount(count);
    if (!checkStructureOpen()) return n;
    if (n < minPoints) {
        report(messages::pathTooFewPoints);
        return n;
    }
    // Strict mode: GDSII's path types are 0 (flush), 1 (round), 2 (half-width
    // extension) and 4 (custom extension).
    const bool knownPathType = pathType == 0 || pathType == 1 || pathType == 2 || pathType == 4;
    if (!strictCount(count) || !strictFits16(layer) || !strictFits16(dataType) ||
        !strictFits(knownPathType, messages::valueOutOfRange) || !strictFits16(elFlags))
        return n;
    if (!checkPointArrays(xs, ys)) return n;

    for (std::int32_t first = 0; first + 1 < n; first += maxPointsPerElement - 1) {
        const std::int32_t points = std::min(n - first, maxPointsPerElement);
        beginElement(out, Record::PATH, elFlags, plex);
        writeInt2Record(out, Record::LAYER, layer);
        writeInt2Record(out, Record::DATATYPE, dataType);
        writeInt2Record(out, Record::PATHTYPE, pathType);
        writeInt4Record(out, Record::WIDTH, width);
        writeXYRecord(out, xs, ys, static_cast<std::size_t>(first),
                      static_cast<std::size_t>(points), false);
        endElementWithProperties();
    }
    return n;
}

}  // namespace quillon
