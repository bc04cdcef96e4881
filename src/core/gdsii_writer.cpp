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

bool GDSIIWriter::report(const char* message) { return report(message, message); }

bool GDSIIWriter::report(const char* message, const char* lastErrorText) {
    const int status = messages::statusOf(message);
    if (messages::severityOf(status) > messages::severityOf(callStatus)) callStatus = status;
    lastMessage = lastErrorText;
    if (callback != nullptr) {
        ReportGuard during(handlingReport);
        callback(callbackData, status, message);
    } else if (handler != nullptr) {
        ReportGuard during(handlingReport);
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

bool GDSIIWriter::strictTransformation(std::int32_t strans, double mag, double angle,
                                       bool text) {
    // The absolute magnification (0x0004) and absolute angle (0x0002) flags:
    // KLayout and gdspy ignore them and warn.
    constexpr std::int32_t absoluteFlags = 0x0006;
    return strictFits16(strans) && strictFinite(mag) && strictFinite(angle) &&
           strictFits((strans & absoluteFlags) == 0, messages::valueOutOfRange) &&
           // KLayout refuses the whole file for a reference magnified by 0
           // or less, also by a number too small for REAL8 (written as 0);
           // a text's magnification is its size, which every reader takes
           // as written. One too large would become REAL8's largest number.
           strictFits(text || mag > 0, messages::magnificationNotPositive) &&
           strictFits(hasReal8Form(mag), messages::valueOutOfRange) &&
           // KLayout warns about angles beyond a full turn and misreads them,
           // and turns texts by quarter turns only.
           strictFits(angle >= -360.0 && angle <= 360.0, messages::angleOutOfRange) &&
           strictFits(!text || std::fabs(std::remainder(angle, 90.0)) < 1e-9,
                      messages::textAngleNotQuarterTurn);
}

void GDSIIWriter::noteNewReference(const char* name, std::size_t length) {
    const std::string_view view(name, length);
    lastReference.assign(name, length);
    if (referenced.count(view) != 0) return;
    referenceOrder.emplace_back(view);
    referenced.insert(referenceOrder.back());
}

bool GDSIIWriter::findUndefinedReferences() {
    constexpr int named = 10;
    std::string text;
    int missing = 0;
    for (const std::string& name : referenceOrder) {
        if (file.nameTaken(name)) continue;
        if (missing < named) text += (missing == 0 ? " Undefined: " : ", ") + name;
        ++missing;
    }
    forgetReferences();
    if (missing == 0) return false;
    if (missing > named) text += " and " + std::to_string(missing - named) + " more";
    lastMessageText = std::string(messages::undefinedStructure) + text + ".";
    return true;
}

void GDSIIWriter::reportUndefinedReferences() {
    // The callback and handler receive the message itself; the last error
    // text, already readable from inside the callback, names the structures.
    report(messages::undefinedStructure, lastMessageText.c_str());
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
