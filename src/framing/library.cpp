// The records that open and close a library: HEADER, BGNLIB, LIBNAME and
// UNITS at GDS_BeginLib, ENDLIB at GDS_EndLib.
#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

void GDSIIWriter::beginLib(const char* fileName, double dbUnitInUserUnits,
                           double dbUnitInMeters) {
    // The running export and its file stay undisturbed: stop here even when
    // the handler returns.
    if (file.exportRunning) {
        file.reportError(messages::exportRunning);
        return;
    }
    // Bytes written while no file was open stay out of this one.
    out.discard();
    file.openFile(fileName);
    file.exportRunning = true;

    writeInt2Record(out, Record::HEADER, 3);
    const Timestamp now = makeTimestamp();
    beginRecord(out, Record::BGNLIB, now.size()).write24(now.data());
    // LIBNAME is the name as passed, directory and extension included. A
    // NULL or over-long name was reported by openFile; its library (written
    // to no file) gets an empty name.
    const bool named = fileName != nullptr && fitsStringRecord(fileName);
    writeStringRecord(out, Record::LIBNAME, named ? fileName : "");
    writeReal8(writeReal8(beginRecord(out, Record::UNITS, 16), dbUnitInUserUnits),
               dbUnitInMeters);
}

void GDSIIWriter::endLib() {
    if (!file.exportRunning) file.reportError(messages::processStopped);
    if (file.structureOpen) file.reportError(messages::structureNotClosed);

    file.structureNames.clear();
    writeEmptyRecord(out, Record::ENDLIB);
    // The sink's buffered bytes go to the stream before it is flushed, so
    // that a failure to write them is found by the close as well.
    out.drain();
    const bool written = file.closeFile();
    file.exportRunning = false;
    // Reported last, with the state already back to Idle, so that a throw
    // leaves nothing to clean up.
    if (!written) file.reportError(messages::cannotWriteFile);
}

}  // namespace quillon
