// The platform layer: creating the one writer object when the library is
// loaded (and saving an unfinished file when it is unloaded), and reading
// the local clock, and handing freed memory back to the system.
#include "platform.h"

#include "exports.h"
#include "gdsii_writer.h"

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#else
#  include <ctime>
#endif
#if defined(__GLIBC__)
#  include <malloc.h>
#endif

namespace quillon {

GDSIIWriter* theWriter = nullptr;

namespace {

void createWriter() { theWriter = new GDSIIWriter(); }

void saveUnfinishedFile() {
    if (theWriter != nullptr) theWriter->closeOnUnload();
}

}  // namespace

// glibc keeps freed heap memory for the process's next allocations; after
// a huge polygon that is a hundred megabytes the writer never needs again.
void returnFreedMemory() {
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

#if defined(_WIN32)

ClockReading readLocalClock() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace quillon

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        quillon::createWriter();
    }
    if (reason == DLL_PROCESS_DETACH) {
        quillon::saveUnfinishedFile();
    }
    return TRUE;
}

#else

ClockReading readLocalClock() {
    const std::time_t seconds = std::time(nullptr);
    std::tm local{};
    localtime_r(&seconds, &local);
    return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
            local.tm_hour,        local.tm_min,     local.tm_sec};
}

namespace {

// The shared library's load and unload notifications.
__attribute__((constructor)) void onLoad() { createWriter(); }
__attribute__((destructor)) void onUnload() { saveUnfinishedFile(); }

}  // namespace

}  // namespace quillon

#endif
