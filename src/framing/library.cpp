// The records that open and close a library: HEADER, BGNLIB, LIBNAME and
// UNITS at GDS_BeginLib, ENDLIB at GDS_EndLib.
#include <cctype>
#include <cmath>
#include <cstring>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

namespace {

// A database unit must have a size: readers divide by both values.
bool validUnit(double value) { return std::isfinite(value) && value > 0; }

bool endsInOas(const char* name) {
    const std::size_t length = name != nullptr ? std::strlen(name) : 0;
    if (length < 4 || name[length - 4] != '.') return false;
    const char* suffix = "oas";
    for (std::size_t i = 0; i < 3; ++i)
        if (std::tolower(static_cast<unsigned char>(name[length - 3 + i])) != suffix[i])
            return false;
    return true;
}

// The CBLOCK level of an OASIS file for the compression setting: -1 is the
// default, level 2, which keeps up with the writer.
int cblockLevel(int compression) { return compression < 0 ? 2 : compression; }

}  // namespace

void GDSIIWriter::beginLib(const char* fileName, double dbUnitInUserUnits,
                           double dbUnitInMeters) {
    // The running export and its file stay undisturbed: stop here even when
    // the handler returns.
    if (file.exportRunning()) {
        report(messages::exportRunning);
        return;
    }
    // Refused whole, before the file is touched, so that no library is left
    // half open and no file is created or truncated for it.
    if (!validUnit(dbUnitInUserUnits) || !validUnit(dbUnitInMeters) ||
        (strict && (!hasReal8Form(dbUnitInUserUnits) || !hasReal8Form(dbUnitInMeters)))) {
        // Strict mode also refuses units too small or large for REAL8, which
        // readers would find as 0 or as REAL8's largest number.
        report(messages::invalidUnits);
        return;
    }
    // Bytes written while no file was open stay out of this one.
    out.discard();
    forgetReferences();  // none of an earlier library's carry over
    includedDigests.clear();
    const bool oasisFile = format == QUILLON_FORMAT_OASIS ||
                           (format == QUILLON_FORMAT_AUTO && endsInOas(fileName));
    if (!file.openFile(fileName, oasisFile) && !report(messages::cannotOpenFile)) return;
    file.startExport();
    libraryMeters = dbUnitInMeters;
    if (oasisFile) {
        oasis = std::make_unique<oasis::Writer>(out, cblockLevel(file.compression()));
        oasis->start(dbUnitInMeters);
        return;
    }

    writeInt2Record(out, Record::HEADER, 3);
    const Timestamp now = makeTimestamp();
    beginRecord(out, Record::BGNLIB, now.size()).write24(now.data());
    // LIBNAME is the name as passed, directory and extension included,
    // unless the host chose one. A NULL or over-long file name was reported
    // above; its library (written to no file) gets an empty name.
    const char* name = libraryNameSet ? libraryName.c_str() : fileName;
    const bool named = name != nullptr && fitsStringRecord(name);
    writeStringRecord(out, Record::LIBNAME, named ? name : "");
    writeReal8(writeReal8(beginRecord(out, Record::UNITS, 16), dbUnitInUserUnits),
               dbUnitInMeters);
}

void GDSIIWriter::endLib() {
    if (!file.exportRunning() && !report(messages::processStopped)) return;
    // In strict mode the file is never left without the ENDSTR it needs:
    // the open structure is closed first and reported once the file is done.
    bool closedOpenStructure = false;
    if (file.structureOpen()) {
        if (strict) {
            if (file.structureInFile()) {
                if (oasis)
                    oasis->endCell();
                else
                    writeEmptyRecord(out, Record::ENDSTR);
            }
            file.structureEnded();
            closedOpenStructure = true;
        } else {
            report(messages::structureNotClosed);
        }
    }

    if (oasis) {
        oasis->end();
        oasis.reset();
    } else {
        writeEmptyRecord(out, Record::ENDLIB);
    }
    // The sink's buffered bytes go to the stream before it is flushed, so
    // that a failure to write them is found by the close as well.
    out.drain();
    const bool written = file.closeFile();
    // Handles and strict mode report references to structures the library
    // never defined (the file is complete all the same).
    const bool undefined = findUndefinedReferences() && (strict || handleRules);
    file.finishExport();
    // Reported last, with the state already back to Idle, so that a throw
    // leaves nothing to clean up.
    if (closedOpenStructure) report(messages::structureNotClosed);
    dropUnusedProperties();
    if (undefined) reportUndefinedReferences();
    if (!written)
        report(file.closedOutOfMemory() ? messages::outOfMemory : messages::cannotWriteFile);
}

bool GDSIIWriter::setFormat(int value) {
    if (value < QUILLON_FORMAT_AUTO || value > QUILLON_FORMAT_OASIS) {
        report(messages::formatRange);
        return false;
    }
    format = value;
    return true;
}

}  // namespace quillon
