// NODE: an electrical net node, a layer, a node type and 1 to 50 points
// (not closed).
#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

constexpr std::int32_t minPoints = 1;
constexpr std::int32_t maxPoints = 50;
// The most points whose XY record still fits the 16-bit record length:
// 8 * 8191 + 4 = 65532.
constexpr std::int32_t maxRecordPoints = 8191;

}  // namespace

void GDSIIWriter::writeNode(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                            std::int32_t layer, std::int32_t nodeType, std::int32_t elFlags,
                            std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    const std::int32_t n = pointCount(count);
    if (n > maxPoints && !report(messages::nodeTooManyPoints)) return;
    if (n < minPoints && !report(messages::nodeTooFewPoints)) return;
    if (!strictCount(count) || !strictNumber16(layer) || !strictNumber16(nodeType) ||
        !strictFits16(elFlags))
        return;
    // After a report the host let pass, the node is written as given while
    // its XY record can describe it (a count of 0 gives an empty XY).
    if (n < 0 || n > maxRecordPoints) return;
    if (n > 0 && !checkPointArrays(xs, ys)) return;
    if (oasis) {
        // Refused in strict mode, skipped otherwise: nothing is written.
        report(messages::nodeNoOasisForm);
        return;
    }

    beginElement(out, Record::NODE, elFlags, plex, compact);
    writeInt2Record(out, Record::LAYER, layer);
    writeInt2Record(out, Record::NODETYPE, nodeType);
    writeXYRecord(out, xs, ys, 0, static_cast<std::size_t>(n), false);
    endElementWithProperties();
}

}  // namespace quillon
