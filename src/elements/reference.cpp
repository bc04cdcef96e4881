// SREF and AREF: one instance, or a columns-by-rows array of instances, of
// another structure named by SNAME, with its transformation. STRANS, MAG and
// ANGLE are written always, also for the identity transformation.
#include "core/gdsii_writer.h"
#include "core/records.h"

namespace quillon {

namespace {

// SNAME and the transformation, shared by both reference kinds.
void writeReferenceTarget(ByteSink& out, const char* structName, std::int32_t strans,
                          double mag, double angle) {
    writeStringRecord(out, Record::SNAME, structName);
    writeInt2Record(out, Record::STRANS, strans);
    writeReal8Record(out, Record::MAG, mag);
    writeReal8Record(out, Record::ANGLE, angle);
}

}  // namespace

void GDSIIWriter::writeSref(const char* structName, std::int32_t x, std::int32_t y,
                            std::int32_t strans, double mag, double angle, std::int32_t elFlags,
                            std::int32_t plex) {
    checkStructureOpen();
    if (!checkStructureName(structName)) return;

    beginElement(out, Record::SREF, elFlags, plex);
    writeReferenceTarget(out, structName, strans, mag, angle);
    writeXYRecord(out, &x, &y, 0, 1, false);
    endElement(out);
}

void GDSIIWriter::writeAref(const char* structName, const std::int32_t* xs,
                            const std::int32_t* ys, std::int32_t columns, std::int32_t rows,
                            std::int32_t strans, double mag, double angle, std::int32_t elFlags,
                            std::int32_t plex) {
    checkStructureOpen();
    if (!checkStructureName(structName)) return;
    if (!checkPointArrays(xs, ys)) return;

    beginElement(out, Record::AREF, elFlags, plex);
    writeReferenceTarget(out, structName, strans, mag, angle);
    writeInt2(writeInt2(beginRecord(out, Record::COLROW, 4), columns), rows);
    // The origin, the origin displaced by the columns, and by the rows.
    writeXYRecord(out, xs, ys, 0, 3, false);
    endElement(out);
}

}  // namespace quillon
