#include "gdsii_writer.h"

#include <cmath>
#include <cstring>

#include "encoders.h"
#include "messages.h"

namespace quillon {

GDSIIWriter::GDSIIWriter() : out(file.stream()) {}

GDSIIWriter::~GDSIIWriter() = default;

ErrorHandler GDSIIWriter::setErrorHandler(ErrorHandler newHandler) {
    handler = newHandler;
    return newHandler;
}

void GDSIIWriter::setCallback(QuillonErrorCallback newCallback, void* userData) {
    callback = newCallback;
    callbackData = userData;
}

bool GDSIIWriter::setLibraryName(const char* name) {
    libraryNameSet = name != nullptr;
    libraryName = name != nullptr ? name : "";
    if (libraryNameSet && !fitsStringRecord(name)) {
        libraryNameSet = false;
        libraryName.clear();
        report(messages::libraryNameTooLong);
        return false;
    }
    return true;
}

namespace {

// Marks a writer as handling a report for as long as the handler runs, also
// when the handler leaves by an exception of its own.
class HandlingReport {
public:
    explicit HandlingReport(bool& flag) : flag(flag) { flag = true; }
    ~HandlingReport() { flag = false; }
    HandlingReport(const HandlingReport&) = delete;
    HandlingReport& operator=(const HandlingReport&) = delete;

private:
    bool& flag;
};

}  // namespace

bool GDSIIWriter::report(const char* message) {
    const int status = messages::statusOf(message);
    if (callStatus == 0) callStatus = status;
    lastMessage = message;
    if (callback != nullptr) {
        HandlingReport during(handlingReport);
        callback(callbackData, status, message);
    } else if (handler != nullptr) {
        HandlingReport during(handlingReport);
        handler(message);
    } else if (throwsWithoutHandler) {
        throw GDSIIException(message);
    }
    return !strict;
}

int GDSIIWriter::refuseReentrantCall() {
    lastMessage = messages::reentrantCall;
    return QUILLON_ERROR_REENTRANT;
}

bool GDSIIWriter::strictFinite(double value) {
    return strictFits(std::isfinite(value), messages::notFinite);
}

void GDSIIWriter::closeOnUnload() {
    if (!file.isOpen()) return;
    out.drain();
    file.closeFile();
}

bool GDSIIWriter::checkStructureOpenSlow() {
    if (!file.structureOpen()) return report(messages::structureNotOpened);
    if (!file.structureInFile()) {
        report(messages::structureNotOpened);
        return false;
    }
    return true;
}

bool GDSIIWriter::checkPointArrays(const std::int32_t* xs, const std::int32_t* ys) {
    if (xs != nullptr && ys != nullptr) return true;
    report(messages::pointArrayNull);
    return false;
}

bool GDSIIWriter::checkStructureName(const char* name, std::size_t& length) {
    if (name == nullptr) {
        report(messages::structureNameNull);
        return false;
    }
    length = measureString(name);
    // No reader accepts a structure without a name.
    if (length == 0) {
        report(messages::structureNameEmpty);
        return false;
    }
    if (length + (length & 1) > maxRecordData) {
        report(messages::structureNameTooLong);
        return false;
    }
    return true;
}

}  // namespace quillon
