// BOX: a rectangle given by two opposite corners, written as a closed
// five-point XY record with the corners in the order passed.
#include <algorithm>
#include <cstdlib>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

void GDSIIWriter::writeBox(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                           std::int32_t layer, std::int32_t boxType, std::int32_t elFlags,
                           std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    if (!strictNumber16(layer) || !strictNumber16(boxType) || !strictFits16(elFlags)) return;

    if (oasis) {
        // The corners in either order: the rectangle from the lower left.
        oasis->rectangle(std::min(x1, x2), std::min(y1, y2),
                         static_cast<std::uint64_t>(std::llabs(std::int64_t{x2} - x1)),
                         static_cast<std::uint64_t>(std::llabs(std::int64_t{y2} - y1)),
                         static_cast<std::uint16_t>(layer), static_cast<std::uint16_t>(boxType),
                         properties);
        return;
    }
    const std::int32_t xs[4] = {x1, x2, x2, x1};
    const std::int32_t ys[4] = {y1, y1, y2, y2};
    beginElement(out, Record::BOX, elFlags, plex, compact);
    writeInt2Record(out, Record::LAYER, layer);
    writeInt2Record(out, Record::BOXTYPE, boxType);
    writeXYRecord(out, xs, ys, 0, 4, true);
    endElementWithProperties();
}

void GDSIIWriter::writeBoxWH(std::int32_t x, std::int32_t y, std::int32_t width,
                             std::int32_t height, std::int32_t layer, std::int32_t boxType,
                             std::int32_t elFlags, std::int32_t plex) {
    ElementCall call(*this);
    // The corner sums wrap around like 32-bit two's-complement additions;
    // strict mode refuses a corner that does not fit instead.
    const std::int64_t x2 = std::int64_t{x} + width;
    const std::int64_t y2 = std::int64_t{y} + height;
    const auto fits = [](std::int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; };
    if (!strictFits(fits(x2) && fits(y2), messages::coordinateOutOfRange)) return;
    writeBox(x, y, static_cast<std::int32_t>(static_cast<std::uint32_t>(x2)),
             static_cast<std::int32_t>(static_cast<std::uint32_t>(y2)), layer, boxType, elFlags,
             plex);
}

}  // namespace quillon
