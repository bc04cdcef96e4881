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
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    if (text == nullptr) {
        // Nothing to measure or write: stop before the first record.
        report(messages::textNull);
        return;
    }
    const std::size_t length = measureString(text);
    if (length > maxTextLength && !report(messages::textTooLong)) return;
    const std::int32_t type = static_cast<std::int16_t>(textType);
    if ((type < 0 || type > maxTextType) && !report(messages::textTypeLimit)) return;
    if (isStrict() &&
        (!strictFits(type == textType, messages::textTypeLimit) || !strictFits16(layer) ||
        !strictFits16(presentation) || !strictFits16(pathType) || !strictFits16(strans) ||
         !strictFinite(mag) || !strictFinite(angle) || !strictFits16(elFlags)))
        return;
    // A text the host let pass over 512 characters is written whole, as far
    // as STRING's 16-bit length can carry it.
    if (length + (length & 1) > maxRecordData) return;

    // Everything before STRING has a fixed size: one reservation.
    // Its records, listed in the order of the stores below.
    constexpr std::size_t fixedSize =
        fixedRecordsSize<Record::TEXT, Record::ELFLAGS, Record::PLEX, Record::LAYER,
                         Record::TEXTTYPE, Record::PRESENTATION, Record::PATHTYPE,
                         Record::WIDTH, Record::STRANS, Record::MAG, Record::ANGLE> +
        xyRecordSize(1);
    std::uint8_t* p = out.reserve(fixedSize);
    p = storeEmptyRecord(p, Record::TEXT);
    p = storeInt2Record(p, Record::ELFLAGS, elFlags);
    p = storeInt4Record(p, Record::PLEX, plex);
    p = storeInt2Record(p, Record::LAYER, layer);
    p = storeInt2Record(p, Record::TEXTTYPE, textType);
    p = storeInt2Record(p, Record::PRESENTATION, presentation);
    p = storeInt2Record(p, Record::PATHTYPE, pathType);
    p = storeInt4Record(p, Record::WIDTH, width);
    p = storeInt2Record(p, Record::STRANS, strans);
    p = storeReal8Record(p, Record::MAG, mag);
    p = storeReal8Record(p, Record::ANGLE, angle);
    out.commit(storePoints(storeRecordStart(p, Record::XY, 8), &x, &y, 1));
    writeStringRecord(out, Record::STRING, text, length);
    endElementWithProperties();
}

}  // namespace quillon
