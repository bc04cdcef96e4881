#include "include_output.h"

#include <cstring>

#if !defined(_WIN32)
#include <unistd.h>
#endif

namespace quillon::include {

bool FileOutput::start(int descriptor) {
#if !defined(_WIN32)
    if (descriptor < 0) return false;
    const off_t at = ::lseek(descriptor, 0, SEEK_CUR);
    if (at < 0) return false;
    fd = descriptor;
    before = at;
    return true;
#else
    (void)descriptor;
    return false;
#endif
}

void FileOutput::write(const std::uint8_t* bytes, std::size_t n) {
    if (n >= gatherSize / 2) {
        flush();
        send(bytes, n);
        return;
    }
    if (gathered == nullptr) gathered.reset(new std::uint8_t[gatherSize]);
    if (gatheredBytes + n > gatherSize) flush();
    std::memcpy(gathered.get() + gatheredBytes, bytes, n);
    gatheredBytes += n;
}

void FileOutput::flush() {
    if (gatheredBytes == 0) return;
    send(gathered.get(), gatheredBytes);
    gatheredBytes = 0;
}

void FileOutput::send(const std::uint8_t* bytes, std::size_t n) {
#if !defined(_WIN32)
    while (n > 0 && !failed) {
        const ssize_t written = ::write(fd, bytes, n);
        if (written <= 0) {
            failed = true;
            break;
        }
        bytes += written;
        n -= static_cast<std::size_t>(written);
    }
#else
    (void)bytes;
    (void)n;
#endif
}

bool FileOutput::commit() {
    flush();
    if (failed) {
        cutBack();
        return false;
    }
    kept = true;
    return true;
}

void FileOutput::cutBack() {
#if !defined(_WIN32)
    if (fd >= 0 && !kept) {
        if (::ftruncate(fd, static_cast<off_t>(before)) == 0)
            ::lseek(fd, static_cast<off_t>(before), SEEK_SET);
    }
#endif
    fd = -1;
}

}  // namespace quillon::include
