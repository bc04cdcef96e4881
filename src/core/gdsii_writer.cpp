#include "gdsii_writer.h"

#include "encoders.h"
#include "messages.h"

namespace quillon {

GDSIIWriter::GDSIIWriter() : out(file) {}

GDSIIWriter::~GDSIIWriter() = default;

ErrorHandler GDSIIWriter::setErrorHandler(ErrorHandler handler) {
    file.handler = handler;
    return handler;
}

void GDSIIWriter::closeOnUnload() {
    if (!file.is_open()) return;
    out.drain();
    file.closeFile();
}

void GDSIIWriter::checkStructureOpen() const {
    if (!file.structureOpen) file.reportError(messages::structureNotOpened);
}

bool GDSIIWriter::checkPointArrays(const std::int32_t* xs, const std::int32_t* ys) const {
    if (xs != nullptr && ys != nullptr) return true;
    file.reportError(messages::pointArrayNull);
    return false;
}

bool GDSIIWriter::checkStructureName(const char* name) const {
    if (name == nullptr) {
        file.reportError(messages::structureNameNull);
        return false;
    }
    if (!fitsStringRecord(name)) {
        file.reportError(messages::structureNameTooLong);
        return false;
    }
    return true;
}

}  // namespace quillon
