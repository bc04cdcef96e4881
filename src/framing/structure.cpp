// The records that frame a structure (cell), BGNSTR, STRNAME and ENDSTR, and
// the registry that keeps structure names unique within one library.
#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

void GDSIIWriter::beginStructure(const char* name) {
    if (!file.exportRunning) file.reportError(messages::processStopped);
    if (file.structureOpen) file.reportError(messages::structureAlreadyOpened);
    // A structure without a name STRNAME can carry is refused whole.
    std::size_t length = 0;
    if (!checkStructureName(name, length)) return;

    // Set before the name check: a refused duplicate still leaves the
    // structure open, and hosts rely on that.
    file.structureOpen = true;
    if (!file.structureNames.emplace(name, length).second)
        file.reportError(messages::duplicateStructureName);

    const Timestamp now = makeTimestamp();
    beginRecord(out, Record::BGNSTR, now.size()).write24(now.data());
    writeStringRecord(out, Record::STRNAME, name, length);
}

void GDSIIWriter::endStructure() {
    checkStructureOpen();
    writeEmptyRecord(out, Record::ENDSTR);
    file.structureOpen = false;
}

}  // namespace quillon
