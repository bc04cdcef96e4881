#include "gdsii_writer.h"

#include <cstring>

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

bool GDSIIWriter::checkPointArrays(const std::int32_t* xs, const std::int32_t* ys) const {
    if (xs != nullptr && ys != nullptr) return true;
    file.reportError(messages::pointArrayNull);
    return false;
}

bool GDSIIWriter::checkStructureName(const char* name, std::size_t& length) const {
    if (name == nullptr) {
        file.reportError(messages::structureNameNull);
        return false;
    }
    length = measureString(name);
    if (length + (length & 1) > maxRecordData) {
        file.reportError(messages::structureNameTooLong);
        return false;
    }
    return true;
}

}  // namespace quillon
