// TEXT: a label on a layer at an anchor point, with its presentation, path
// type, width and transformation. Every record of the element is written,
// also those GDSII makes optional.
#include <cstring>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

constexpr std::size_t maxTextLength = 512;
constexpr std::int32_t maxTextType = 255;

}  // namespace

void GDSIIWriter::writeText(std::int32_t x, std::int32_t y, const char* text,
                            std::int32_t layer, std::int32_t textType,
                            std::int32_t presentation, std::int32_t pathType,
                            std::int32_t width, std::int32_t strans, double mag, double angle,
                            std::int32_t elFlags, std::int32_t plex) {
    checkStructureOpen();
    if (text == nullptr) {
        // Nothing to measure or write: stop before the first record.
        file.reportError(messages::textNull);
        return;
    }
    const std::size_t length = std::strlen(text);
    if (length > maxTextLength) file.reportError(messages::textTooLong);
    const std::int32_t type = static_cast<std::int16_t>(textType);
    if (type < 0 || type > maxTextType) file.reportError(messages::textTypeLimit);
    // A text the host let pass over 512 characters is written whole, as far
    // as STRING's 16-bit length can carry it.
    if (!fitsStringRecord(text)) return;

    beginElement(out, Record::TEXT, elFlags, plex);
    writeInt2Record(out, Record::LAYER, layer);
    writeInt2Record(out, Record::TEXTTYPE, textType);
    writeInt2Record(out, Record::PRESENTATION, presentation);
    writeInt2Record(out, Record::PATHTYPE, pathType);
    writeInt4Record(out, Record::WIDTH, width);
    writeInt2Record(out, Record::STRANS, strans);
    writeReal8Record(out, Record::MAG, mag);
    writeReal8Record(out, Record::ANGLE, angle);
    writeXYRecord(out, &x, &y, 0, 1, false);
    writeStringRecord(out, Record::STRING, text);
    endElement(out);
}

}  // namespace quillon
