// The records that frame a structure (cell), BGNSTR, STRNAME and ENDSTR, and
// the registry that keeps structure names unique within one library.
#include <string>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

void GDSIIWriter::beginStructure(const char* name) {
    if (!file.exportRunning() && !report(messages::processStopped)) return;
    if (file.structureOpen() && !report(messages::structureAlreadyOpened)) return;
    // A structure without a name STRNAME can carry is refused whole.
    std::size_t length = 0;
    if (!checkStructureName(name, length)) return;
    // Strict mode refuses a duplicate before anything changes.
    if (strict && file.nameTaken(std::string(name, length))) {
        report(messages::duplicateStructureName);
        return;
    }

    // Set before the name check: a refused duplicate still leaves the
    // structure flag set, and hosts rely on that. The file holds no
    // structure then, which the element writers check.
    file.setStructureFlag();
    if (!file.registerName(name, length)) report(messages::duplicateStructureName);

    if (oasis) {
        oasis->beginCell(name, length);
    } else {
        const Timestamp now = makeTimestamp();
        beginRecord(out, Record::BGNSTR, now.size()).write24(now.data());
        writeStringRecord(out, Record::STRNAME, name, length);
    }
    file.structureBegun();
    dropUnusedProperties();
}

void GDSIIWriter::endStructure() {
    if (file.structureOpen() && !file.structureInFile()) {
        // The flag is set but the file holds no structure to close: an
        // ENDSTR would close nothing, so none is written.
        file.structureEnded();
        report(messages::structureNotOpened);
        return;
    }
    if (!file.structureOpen() && !report(messages::structureNotOpened)) return;
    if (oasis)
        oasis->endCell();
    else
        writeEmptyRecord(out, Record::ENDSTR);
    file.structureEnded();
    dropUnusedProperties();
}

}  // namespace quillon
