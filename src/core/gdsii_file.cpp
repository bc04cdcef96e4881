#include "gdsii_file.h"

#include <cctype>
#include <cstring>

#include "encoders.h"

namespace quillon {

namespace {

// The deflate level used for a name ending in ".gz" when no level is set:
// the fastest, which keeps up best with the writer.
constexpr int suffixLevel = 1;

bool endsInGz(const char* name) {
    const std::size_t length = std::strlen(name);
    return length >= 3 && name[length - 3] == '.' &&
           std::tolower(static_cast<unsigned char>(name[length - 2])) == 'g' &&
           std::tolower(static_cast<unsigned char>(name[length - 1])) == 'z';
}

#if defined(__GLIBCXX__) && !defined(_WIN32)
// libstdc++'s filebuf keeps its file in the protected member _M_file, which
// a derived class may name.
struct DescriptorOf : std::filebuf {
    static int of(std::filebuf& buffer) { return (buffer.*(&DescriptorOf::_M_file)).fd(); }
};
#endif

}  // namespace

int GDSIIFile::plainDescriptor() {
#if defined(__GLIBCXX__) && !defined(_WIN32)
    if (output.rdbuf() != &plain || !plain.is_open() || output.fail()) return -1;
    output.flush();
    if (output.fail()) return -1;
    return DescriptorOf::of(plain);
#else
    return -1;
#endif
}

bool GDSIIFile::setCompression(int level) {
    if (level < -1 || level > 9) return false;
    compressionSetting = level;
    return true;
}

bool GDSIIFile::openFile(const char* fileName, bool plainOnly) {
    // An earlier failed open or a write to the closed stream leaves it
    // failed; a new export must never inherit that and silently lose bytes.
    output.clear();
    fileOpened = false;
    openedIdentity = reader::FileIdentity{};
    // A name that LIBNAME could not hold is refused like an unopenable one.
    if (fileName != nullptr && fitsStringRecord(fileName) && !isOpen()) {
        int level = compressionSetting;
        if (level < 0) level = endsInGz(fileName) ? suffixLevel : 0;
        if (plainOnly) level = 0;
        if (level > 0) {
            output.rdbuf(&gzip);
            gzip.open(fileName, level);
        } else {
            output.rdbuf(&plain);
            plain.open(fileName, std::ios::out | std::ios::binary);
        }
    }
    if (!isOpen()) {
        output.setstate(std::ios::failbit);
        return false;
    }
    fileOpened = true;
    openedIdentity = reader::identityOf(fileName);
    return true;
}

bool GDSIIFile::closeFile() {
    // Whichever buffer the stream holds is closed; one that is not open
    // answers a failure, as closing a closed file stream does.
    bool closed;
    memoryLost = false;
    if (output.rdbuf() == &gzip) {
        closed = gzip.close();
        memoryLost = !closed && gzip.outOfMemory();
    } else {
        output.flush();
        closed = plain.close() != nullptr;
    }
    if (!closed) output.setstate(std::ios::failbit);
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
