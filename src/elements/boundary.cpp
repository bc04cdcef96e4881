// BOUNDARY: a filled polygon. The host passes each vertex once; the XY
// record repeats the first vertex at the end to close the polygon.
#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

constexpr std::int32_t minVertices = 3;
constexpr std::int32_t maxVertices = 199;
// The most vertices whose XY record, closing point included, still fits the
// 16-bit record length: 8 * (8190 + 1) + 4 = 65532.
constexpr std::int32_t maxRecordVertices = 8190;

}  // namespace

void GDSIIWriter::writeBoundary(const std::int32_t* xs, const std::int32_t* ys,
                                std::int32_t count, std::int32_t layer, std::int32_t dataType,
                                std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    const std::int32_t n = pointCount(count);
    if (n > maxVertices && !report(messages::boundaryTooManyPoints)) return;
    if (n < minVertices && !report(messages::boundaryTooFewPoints)) return;
    if (!strictCount(count) || !strictNumber16(layer) || !strictNumber16(dataType) ||
        !strictFits16(elFlags))
        return;
    // After a report the host let pass, a polygon is still written as given,
    // but only when it has a vertex to close with and its XY record fits.
    if (n < 1 || n > maxRecordVertices) return;
    if (!checkPointArrays(xs, ys)) return;
    if (oasis) {
        // A POLYGON needs three vertices; OASIS has no form for fewer.
        if (n >= minVertices)
            oasis->polygon(xs, ys, static_cast<std::size_t>(n), static_cast<std::uint16_t>(layer),
                           static_cast<std::uint16_t>(dataType), properties);
        return;
    }

    beginElement(out, Record::BOUNDARY, elFlags, plex, compact);
    writeInt2Record(out, Record::LAYER, layer);
    writeInt2Record(out, Record::DATATYPE, dataType);
    writeXYRecord(out, xs, ys, 0, static_cast<std::size_t>(n), true);
    endElementWithProperties();
}

}  // namespace quillon
