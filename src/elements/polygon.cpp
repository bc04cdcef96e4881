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

}  // namespace

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
    // Polygons are new to this library: their values are always checked,
    // as in strict mode, since no stored file depends on a truncated one.
    if (count < minVertices) {
        report(messages::boundaryTooFewPoints);
        return;
    }
    if (layer < 0 || layer > 0xFFFF || dataType < 0 || dataType > 0xFFFF || elFlags < 0 ||
        elFlags > 0xFFFF) {
        report(messages::valueOutOfRange);
        return;
    }
    if (!strictNumber16(layer) || !strictNumber16(dataType)) return;
    if (!checkPointArrays(xs, ys)) return;
    std::size_t n = static_cast<std::size_t>(count);
    if (xs[n - 1] == xs[0] && ys[n - 1] == ys[0]) --n;

    const auto writePiece = [&](const std::int32_t* px, const std::int32_t* py, std::size_t m) {
        beginElement(out, Record::BOUNDARY, elFlags, plex, compact);
        writeInt2Record(out, Record::LAYER, layer);
        writeInt2Record(out, Record::DATATYPE, dataType);
        writeXYRecord(out, px, py, 0, m, true);
        endElementWithProperties();
    };
    if (n >= static_cast<std::size_t>(minVertices) &&
        n <= static_cast<std::size_t>(polygonLimit)) {
        writePiece(xs, ys, n);
        return;
    }
    bool fractured = false;
    try {
        fractured = fracturePolygon(xs, ys, n, static_cast<std::size_t>(polygonLimit),
                                    this->fractured);
    } catch (const std::bad_alloc&) {
        report(messages::outOfMemory);
        return;
    }
    if (!fractured) {
        report(messages::polygonNotFractured);
        return;
    }
    const FracturedPolygon& pieces = this->fractured;
    for (std::size_t i = 0; i < pieces.pieces(); ++i) {
        const std::size_t first = pieces.starts[i];
        writePiece(pieces.xs.data() + first, pieces.ys.data() + first,
                   pieces.starts[i + 1] - first);
    }
}

}  // namespace quillon
