// BOX: a rectangle given by two opposite corners, written as a closed
// five-point XY record with the corners in the order passed.
#include "core/gdsii_writer.h"
#include "core/records.h"

namespace quillon {

void GDSIIWriter::writeBox(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                           std::int32_t layer, std::int32_t boxType, std::int32_t elFlags,
                           std::int32_t plex) {
    checkStructureOpen();

    const std::int32_t xs[4] = {x1, x2, x2, x1};
    const std::int32_t ys[4] = {y1, y1, y2, y2};
    beginElement(out, Record::BOX, elFlags, plex);
    writeInt2Record(out, Record::LAYER, layer);
    writeInt2Record(out, Record::BOXTYPE, boxType);
    writeXYRecord(out, xs, ys, 0, 4, true);
    endElement(out);
}

}  // namespace quillon
