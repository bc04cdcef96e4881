// SREF and AREF: one instance, or a columns-by-rows array of instances, of
// another structure named by SNAME, with its transformation. STRANS, MAG and
// ANGLE are written always, also for the identity transformation.
#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

// The size of everything but SNAME's data: prologue, SNAME's header,
// STRANS, MAG, ANGLE and ENDEL; the points and COLROW come on top.
constexpr std::size_t fixedSize =
    elementStartSize + 4 + int2RecordSize + 2 * real8RecordSize + emptyRecordSize;

// The prologue, SNAME and the transformation, shared by both kinds; inlined
// into each, as a call would cost a good part of a whole reference.
[[gnu::always_inline]] inline std::uint8_t* storeReferenceHead(std::uint8_t* p, Record kind, const char* structName,
                                 std::size_t nameLength, std::int32_t strans, double mag,
                                 double angle, std::int32_t elFlags, std::int32_t plex) {
    p = storeElementStart(p, kind, elFlags, plex);
    p = storeStringRecord(p, Record::SNAME, structName, nameLength);
    p = storeInt2Record(p, Record::STRANS, strans);
    p = storeReal8Record(p, Record::MAG, mag);
    return storeReal8Record(p, Record::ANGLE, angle);
}

}  // namespace

void GDSIIWriter::writeSref(const char* structName, std::int32_t x, std::int32_t y,
                            std::int32_t strans, double mag, double angle, std::int32_t elFlags,
                            std::int32_t plex) {
    if (!checkStructureOpen()) return;
    std::size_t nameLength = 0;
    if (!checkStructureName(structName, nameLength)) return;
    if (!strictFits16(strans) || !strictFinite(mag) || !strictFinite(angle) ||
        !strictFits16(elFlags))
        return;

    // The whole element in one reservation: it is at most 65598 bytes.
    std::uint8_t* p = out.reserve(fixedSize + nameLength + 1 + 4 + 8);
    p = storeReferenceHead(p, Record::SREF, structName, nameLength, strans, mag, angle, elFlags,
                           plex);
    p = storePoints(storeRecordStart(p, Record::XY, 8), &x, &y, 1);
    out.commit(storeEmptyRecord(p, Record::ENDEL));
}

void GDSIIWriter::writeAref(const char* structName, const std::int32_t* xs,
                            const std::int32_t* ys, std::int32_t columns, std::int32_t rows,
                            std::int32_t strans, double mag, double angle, std::int32_t elFlags,
                            std::int32_t plex) {
    if (!checkStructureOpen()) return;
    std::size_t nameLength = 0;
    if (!checkStructureName(structName, nameLength)) return;
    if (!checkPointArrays(xs, ys)) return;
    const auto colRowFits = [](std::int32_t v) { return v >= 1 && v <= 32767; };
    if (!strictFits(colRowFits(columns) && colRowFits(rows), messages::colRowOutOfRange) ||
        !strictFits16(strans) || !strictFinite(mag) || !strictFinite(angle) ||
        !strictFits16(elFlags))
        return;

    std::uint8_t* p = out.reserve(fixedSize + nameLength + 1 + 8 + 4 + 3 * 8);
    p = storeReferenceHead(p, Record::AREF, structName, nameLength, strans, mag, angle, elFlags,
                           plex);
    p = storeRecordStart(p, Record::COLROW, 4);
    p = storeBigEndian16(p, static_cast<std::uint32_t>(columns));
    p = storeBigEndian16(p, static_cast<std::uint32_t>(rows));
    // The origin, the origin displaced by the columns, and by the rows.
    p = storePoints(storeRecordStart(p, Record::XY, 3 * 8), xs, ys, 3);
    out.commit(storeEmptyRecord(p, Record::ENDEL));
}

}  // namespace quillon
