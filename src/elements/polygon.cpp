// A polygon of any vertex count, written as BOUNDARY elements of at most the
// writer's polygon limit: one when it fits, otherwise the pieces that the
// fracturing cuts it into, each with the same layer, data type, flags and
// properties. The host passes each vertex once; a last vertex equal to the
// first is taken as the closing one and dropped.
#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"
#include "elements/polygon_fracture.h"

#include <new>

namespace quillon {

namespace {

constexpr std::int32_t minVertices = 3;
constexpr std::int32_t minLimit = 8;
// The most vertices whose XY record, closing point included, stays within
// 0x8000 bytes: 8 * (4094 + 1) + 4 = 32764. Readers take the record length
// as signed (KLayout warns "Record length larger than 0x8000" above it).
constexpr std::int32_t maxLimit = 4094;
// The pieces of a polygon with holes in OASIS, which has no vertex limit:
// only the holes are cut.
constexpr std::size_t oasisPieceLimit = std::size_t{1} << 24;
// The fracture buffers a writer keeps from one polygon to the next.
constexpr std::size_t keptFractureVertices = 65536;

}  // namespace

void GDSIIWriter::writeBoundaryPiece(const std::int32_t* xs, const std::int32_t* ys,
                                     std::size_t count, std::int32_t layer,
                                     std::int32_t dataType, std::int32_t elFlags,
                                     std::int32_t plex) {
    if (oasis) {
        oasis->polygon(xs, ys, count, static_cast<std::uint32_t>(layer),
                       static_cast<std::uint32_t>(dataType), properties);
        return;
    }
    beginElement(out, Record::BOUNDARY, elFlags, plex, compact);
    writeInt2Record(out, Record::LAYER, layer);
    writeInt2Record(out, Record::DATATYPE, dataType);
    writeXYRecord(out, xs, ys, 0, count, true);
    endElementWithProperties();
}

bool GDSIIWriter::setPolygonLimit(std::int32_t limit) {
    if (limit < minLimit || limit > maxLimit) {
        report(messages::polygonLimitRange);
        return false;
    }
    polygonLimit = limit;
    return true;
}

void GDSIIWriter::writePolygon(const std::int32_t* xs, const std::int32_t* ys,
                               std::int32_t count, std::int32_t layer, std::int32_t dataType,
                               std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    writeRings(xs, ys, &count, 1, layer, dataType, elFlags, plex);
}

void GDSIIWriter::writePolygonRings(const std::int32_t* xs, const std::int32_t* ys,
                                    const std::int32_t* ringCounts, std::int32_t ringTotal,
                                    std::int32_t layer, std::int32_t dataType,
                                    std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    if (ringTotal < 1 || ringCounts == nullptr) {
        report(messages::boundaryTooFewPoints);
        return;
    }
    writeRings(xs, ys, ringCounts, ringTotal, layer, dataType, elFlags, plex);
}

// Polygons are new to this library: their values are always checked, as in
// strict mode, since no stored file depends on a truncated one.
void GDSIIWriter::writeRings(const std::int32_t* xs, const std::int32_t* ys,
                             const std::int32_t* ringCounts, std::int32_t ringTotal,
                             std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                             std::int32_t plex) {
    const std::size_t rings = static_cast<std::size_t>(ringTotal);
    for (std::size_t r = 0; r < rings; ++r) {
        if (ringCounts[r] < minVertices) {
            report(messages::boundaryTooFewPoints);
            return;
        }
    }
    if (layer < 0 || layer > 0xFFFF || dataType < 0 || dataType > 0xFFFF || elFlags < 0 ||
        elFlags > 0xFFFF) {
        report(messages::valueOutOfRange);
        return;
    }
    if (!strictNumber16(layer) || !strictNumber16(dataType)) return;
    if (!checkPointArrays(xs, ys)) return;

    if (rings == 1) {
        // The host passes each vertex once; a last vertex equal to the
        // first is the closing one.
        std::size_t n = static_cast<std::size_t>(ringCounts[0]);
        if (xs[n - 1] == xs[0] && ys[n - 1] == ys[0]) --n;
        // OASIS has no vertex limit: a polygon without holes goes whole.
        if (n >= static_cast<std::size_t>(minVertices) &&
            (oasis || n <= static_cast<std::size_t>(polygonLimit))) {
            writeBoundaryPiece(xs, ys, n, layer, dataType, elFlags, plex);
            return;
        }
    }
    // A large polygon's pieces and working memory go back to the system
    // however the call ends: the writer keeps only what a polygon of a few
    // thousand vertices needs.
    std::size_t vertices = 0;
    for (std::size_t r = 0; r < rings; ++r) vertices += static_cast<std::size_t>(ringCounts[r]);
    struct GiveBack {
        FracturedPolygon& pieces;
        bool large;
        ~GiveBack() {
            if (!large && pieces.xs.capacity() <= keptFractureVertices) return;
            pieces.release();
            returnFreedMemory();
        }
    } giveBack{fractured, vertices > keptFractureVertices};
    FractureResult result = FractureResult::notCuttable;
    try {
        std::vector<std::size_t> sizes(ringCounts, ringCounts + rings);
        const std::size_t limit =
            oasis ? oasisPieceLimit : static_cast<std::size_t>(polygonLimit);
        result = fracturePolygon(xs, ys, sizes.data(), rings, limit, fractured);
    } catch (const std::bad_alloc&) {
        fractured.clear();
        report(messages::outOfMemory);
        return;
    }
    if (result != FractureResult::pieces) {
        report(result == FractureResult::crossing ? messages::polygonRingsCross
                                                  : messages::polygonNotFractured);
        return;
    }
    const FracturedPolygon& pieces = fractured;
    for (std::size_t i = 0; i < pieces.pieces(); ++i) {
        const std::size_t first = pieces.starts[i];
        writeBoundaryPiece(pieces.xs.data() + first, pieces.ys.data() + first,
                           pieces.starts[i + 1] - first, layer, dataType, elFlags, plex);
    }
}

}  // namespace quillon
