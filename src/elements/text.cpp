// TEXT: a label on a layer at an anchor point, with its presentation, path
// type, width and transformation. Every record of the element is written,
// also those GDSII makes optional, except what compact mode leaves out (see
// storeElementStart and storeTransformation).
#include <cstring>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

constexpr std::size_t maxTextLength = 512;
constexpr std::int32_t maxTextType = 255;

// Horizontal (bits 0x03) and vertical (0x0C) justification each take 0 to 2;
// gdspy cannot read a text whose justification is 3.
bool validJustification(std::int32_t presentation) {
    return (presentation & 0x03) != 0x03 && (presentation & 0x0C) != 0x0C;
}

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
        (!strictFits(type == textType, messages::textTypeLimit) || !strictNumber16(layer) ||
         !strictFits16(presentation) || !strictFits(validJustification(presentation),
                                                    messages::valueOutOfRange) ||
         !strictFits16(pathType) || !strictWidth(width) ||
         !strictTransformation(strans, mag, angle, true) || !strictFits16(elFlags) ||
         !strictFits(length > 0, messages::textEmpty)))
        return;
    // A text the host let pass over 512 characters is written whole, as far
    // as STRING's 16-bit length can carry it.
    if (length + (length & 1) > maxRecordData) return;
    if (oasis) {
        oasis->text(x, y, text, length, static_cast<std::uint16_t>(layer),
                    static_cast<std::uint16_t>(textType), properties);
        return;
    }

    // Everything before STRING has a fixed size: one reservation.
    // Its records, listed in the order of the stores below.
    constexpr std::size_t fixedSize =
        fixedRecordsSize<Record::TEXT, Record::ELFLAGS, Record::PLEX, Record::LAYER,
                         Record::TEXTTYPE, Record::PRESENTATION, Record::PATHTYPE,
                         Record::WIDTH, Record::STRANS, Record::MAG, Record::ANGLE> +
        xyRecordSize(1);
    // Stored with the mode as a constant on each side of one branch, so
    // that the full records keep their fixed offsets.
    const auto store = [&](std::uint8_t* p, bool leaveOut) __attribute__((always_inline)) {
        p = storeElementStart(p, Record::TEXT, elFlags, plex, leaveOut);
        p = storeInt2Record(p, Record::LAYER, layer);
        p = storeInt2Record(p, Record::TEXTTYPE, textType);
        p = storeInt2Record(p, Record::PRESENTATION, presentation);
        p = storeInt2Record(p, Record::PATHTYPE, pathType);
        p = storeInt4Record(p, Record::WIDTH, width);
        p = storeTransformation(p, strans, mag, angle, leaveOut);
        return storePoints(storeRecordStart(p, Record::XY, 8), &x, &y, 1);
    };
    std::uint8_t* p = out.reserve(fixedSize);
    out.commit(compact ? store(p, true) : store(p, false));
    writeStringRecord(out, Record::STRING, text, length);
    endElementWithProperties();
}

}  // namespace quillon
