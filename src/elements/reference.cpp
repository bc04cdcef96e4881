// SREF and AREF: one instance, or a columns-by-rows array of instances, of
// another structure named by SNAME, with its transformation. STRANS, MAG and
// ANGLE are written always, also for the identity transformation, except in
// compact mode (see storeTransformation).
#include <algorithm>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

// The size of the records of storeReferenceHead but SNAME, and of ENDEL;
// SNAME, COLROW and the points come on top.
constexpr std::size_t fixedSize =
    fixedRecordsSize<Record::SREF, Record::ELFLAGS, Record::PLEX, Record::STRANS, Record::MAG,
                     Record::ANGLE, Record::ENDEL>;
static_assert(fixedRecordSize(Record::AREF) == fixedRecordSize(Record::SREF),
              "both kinds open with an empty record");
static_assert(fixedSize + stringRecordSize(maxRecordData) + int2PairRecordSize +
                      xyRecordSize(3) <= ByteSink::largestReservation,
              "the largest AREF fits the sink's buffer");

// The prologue, SNAME and the transformation, shared by both kinds; inlined
// into each, as a call would cost a good part of a whole reference.
// Called with compact as a constant on each side of one branch
// (storeHead), so that the full records keep their fixed offsets.
[[gnu::always_inline]] inline std::uint8_t* storeReferenceHead(std::uint8_t* p, Record kind, const char* structName,
                                 std::size_t nameLength, std::int32_t strans, double mag,
                                 double angle, std::int32_t elFlags, std::int32_t plex,
                                 bool compact) {
    p = storeElementStart(p, kind, elFlags, plex, compact);
    p = storeStringRecord(p, Record::SNAME, structName, nameLength);
    return storeTransformation(p, strans, mag, angle, compact);
}

[[gnu::always_inline]] inline std::uint8_t* storeHead(std::uint8_t* p, Record kind,
                                                      const char* structName,
                                                      std::size_t nameLength,
                                                      std::int32_t strans, double mag,
                                                      double angle, std::int32_t elFlags,
                                                      std::int32_t plex, bool compact) {
    return compact ? storeReferenceHead(p, kind, structName, nameLength, strans, mag, angle,
                                        elFlags, plex, true)
                   : storeReferenceHead(p, kind, structName, nameLength, strans, mag, angle,
                                        elFlags, plex, false);
}

// STRANS: reflected about the x axis before the rotation.
constexpr std::int32_t mirrorFlag = 0x8000;

// The OASIS repetition of an AREF's lattice: columns steps of (p1 - p0) /
// columns and rows steps of (p2 - p0) / rows. A count below 1, which the
// flat API lets pass, counts as 1.
oasis::Repetition arrayRepetition(const std::int32_t* xs, const std::int32_t* ys,
                                  std::int32_t columns, std::int32_t rows) {
    const std::int64_t c = std::max(columns, 1);
    const std::int64_t r = std::max(rows, 1);
    const oasis::Delta column{(std::int64_t{xs[1]} - xs[0]) / c, (std::int64_t{ys[1]} - ys[0]) / c};
    const oasis::Delta row{(std::int64_t{xs[2]} - xs[0]) / r, (std::int64_t{ys[2]} - ys[0]) / r};
    oasis::Repetition repetition;
    repetition.columns = static_cast<std::uint64_t>(c);
    repetition.rows = static_cast<std::uint64_t>(r);
    repetition.count = static_cast<std::uint64_t>(c * r);
    if (c >= 2 && r >= 2) {
        repetition.step = column;
        repetition.rowStep = row;
        const bool eastNorth = column.y == 0 && column.x >= 0 && row.x == 0 && row.y >= 0;
        repetition.kind = eastNorth ? oasis::Repetition::grid : oasis::Repetition::lattice;
    } else if (c >= 2 || r >= 2) {
        repetition.kind = oasis::Repetition::line;
        repetition.step = c >= 2 ? column : row;
    }
    return repetition;
}

}  // namespace

// Commits a reference stored up to p, with its properties and ENDEL; the
// reservation made room for ENDEL.
void GDSIIWriter::finishReference(std::uint8_t* p) {
    if (properties.empty()) {
        out.commit(storeEmptyRecord(p, Record::ENDEL));
        return;
    }
    out.commit(p);
    endElementWithProperties();
}

void GDSIIWriter::writeSref(const char* structName, std::int32_t x, std::int32_t y,
                            std::int32_t strans, double mag, double angle, std::int32_t elFlags,
                            std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    std::size_t nameLength = 0;
    if (!checkStructureName(structName, nameLength)) return;
    if (isStrict() &&
        (!strictTransformation(strans, mag, angle, false) || !strictFits16(elFlags)))
        return;
    noteReference(structName, nameLength);
    if (oasis) {
        oasis->placement(structName, nameLength, x, y, mag, angle, (strans & mirrorFlag) != 0,
                         oasis::Repetition{}, properties);
        return;
    }

    // The whole element in one reservation: at most 65598 bytes (65622 for
    // an AREF), within ByteSink::largestReservation.
    std::uint8_t* p = out.reserve(fixedSize + stringRecordSize(nameLength) + xyRecordSize(1));
    p = storeHead(p, Record::SREF, structName, nameLength, strans, mag, angle, elFlags, plex,
                  compact);
    p = storePoints(storeRecordStart(p, Record::XY, 8), &x, &y, 1);
    finishReference(p);
}

void GDSIIWriter::writeAref(const char* structName, const std::int32_t* xs,
                            const std::int32_t* ys, std::int32_t columns, std::int32_t rows,
                            std::int32_t strans, double mag, double angle, std::int32_t elFlags,
                            std::int32_t plex) {
    ElementCall call(*this);
    if (!checkStructureOpen()) return;
    std::size_t nameLength = 0;
    if (!checkStructureName(structName, nameLength)) return;
    if (!checkPointArrays(xs, ys)) return;
    const auto colRowFits = [](std::int32_t v) { return v >= 1 && v <= 32767; };
    if (isStrict() &&
        (!strictFits(colRowFits(columns) && colRowFits(rows), messages::colRowOutOfRange) ||
         !strictTransformation(strans, mag, angle, false) || !strictFits16(elFlags)))
        return;
    noteReference(structName, nameLength);
    if (oasis) {
        oasis->placement(structName, nameLength, xs[0], ys[0], mag, angle,
                         (strans & mirrorFlag) != 0, arrayRepetition(xs, ys, columns, rows),
                         properties);
        return;
    }

    std::uint8_t* p = out.reserve(fixedSize + stringRecordSize(nameLength) + int2PairRecordSize +
                                  xyRecordSize(3));
    p = storeHead(p, Record::AREF, structName, nameLength, strans, mag, angle, elFlags, plex,
                  compact);
    p = storeRecordStart(p, Record::COLROW, 4);
    p = storeBigEndian16(p, static_cast<std::uint32_t>(columns));
    p = storeBigEndian16(p, static_cast<std::uint32_t>(rows));
    // The origin, the origin displaced by the columns, and by the rows.
    p = storePoints(storeRecordStart(p, Record::XY, 3 * 8), xs, ys, 3);
    finishReference(p);
}

}  // namespace quillon
