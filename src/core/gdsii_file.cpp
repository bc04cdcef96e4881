#include "gdsii_file.h"

#include "encoders.h"
#include "messages.h"

namespace quillon {

void GDSIIFile::openFile(const char* fileName) {
    // An earlier failed open or a write to the closed stream leaves it
    // failed; a new export must never inherit that and silently lose bytes.
    clear();
    fileOpened = false;
    // A name that LIBNAME could not hold is refused like an unopenable one.
    if (fileName != nullptr && fitsStringRecord(fileName))
        open(fileName, std::ios::out | std::ios::binary);
    if (!is_open()) {
        setstate(std::ios::failbit);
        reportError(messages::cannotOpenFile);
        return;
    }
    fileOpened = true;
}

bool GDSIIFile::closeFile() {
    flush();
    close();
    const bool written = !fail();
    const bool worthReporting = fileOpened;
    fileOpened = false;
    return written || !worthReporting;
}

void GDSIIFile::reportError(const char* message) const {
    if (handler != nullptr) {
        handler(message);
        return;
    }
    throw GDSIIException(message);
}

}  // namespace quillon
