#include "gdsii_file.h"

#include "encoders.h"

namespace quillon {

bool GDSIIFile::openFile(const char* fileName) {
    // An earlier failed open or a write to the closed stream leaves it
    // failed; a new export must never inherit that and silently lose bytes.
    output.clear();
    fileOpened = false;
    // A name that LIBNAME could not hold is refused like an unopenable one.
    if (fileName != nullptr && fitsStringRecord(fileName))
        output.open(fileName, std::ios::out | std::ios::binary);
    if (!output.is_open()) {
        output.setstate(std::ios::failbit);
        return false;
    }
    fileOpened = true;
    return true;
}

bool GDSIIFile::closeFile() {
    output.flush();
    output.close();
    const bool written = !output.fail();
    const bool worthReporting = fileOpened;
    fileOpened = false;
    return written || !worthReporting;
}

void GDSIIFile::startExport() {
    names.clear();
    running = true;
    structureFlag = false;
    structureWritten = false;
}

void GDSIIFile::finishExport() {
    names.clear();
    running = false;
    structureWritten = false;
}

}  // namespace quillon
