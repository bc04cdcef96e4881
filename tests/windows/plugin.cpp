// plugin.cpp -- QuillonPlugin.dll, a C++ plugin that drives the
// shared-runtime Quillon.dll and catches every GDSIIException itself; its
// host is a plain C program (plugin_loader.c) with no C++ runtime of its
// own. The plugin, Quillon.dll and the runtime DLLs beside them make one
// C++ runtime.
#include <cstring>
#include <fstream>
#include <iterator>
#include <vector>

#include "runtime_checks.h"

using namespace runtime_checks;

namespace {

// Plugin frames with cleanups between the DLL and the catch.
int unwoundFrames = 0;
struct FrameCleanup {
    ~FrameCleanup() { ++unwoundFrames; }
};

int boxOutsideStructure(int depth) {
    FrameCleanup cleanup;
    if (depth > 0) return boxOutsideStructure(depth - 1) + 1;
    return GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
}

}  // namespace

// Writes fileName, catching the errors on the way; returns the number of
// failed checks.
extern "C" __declspec(dllexport) int __cdecl quillon_plugin_run(const char* fileName) {
    expectText("GDS_EndLib while idle", caughtFrom("GDS_EndLib", [] { GDS_EndLib(); }),
               "Error: Process is already stoped.");
    unwoundFrames = 0;
    expectText("GDS_Box below three plugin frames",
               caughtFrom("GDS_Box", [] { boxOutsideStructure(2); }),
               "Error: Structure is not opened.");
    check(unwoundFrames == 3, "the three plugin frames were not unwound");

    GDS_SetTimestamp(2024, 1, 2, 3, 4, 5);
    GDS_BeginLib(fileName, 0.001, 1e-9);
    GDS_BeginStructure("A");
    GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
    expectText("GDS_Text without text", caughtFrom("GDS_Text", [] {
                   GDS_Text(0, 0, nullptr, 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
               }),
               "errStringIsNULL");
    GDS_EndStructure();
    GDS_EndLib();
    expectNoExceptionInFlight("the plugin's run");

    std::ifstream in(fileName, std::ios::binary);
    const std::vector<unsigned char> file((std::istreambuf_iterator<char>(in)),
                                          std::istreambuf_iterator<char>());
    const unsigned char endLib[] = {0x00, 0x04, 0x04, 0x00};
    check(file.size() > 10 && file[0] == 0x00 && file[1] == 0x06 && file[2] == 0x00 &&
              file[3] == 0x02 &&
              std::memcmp(file.data() + file.size() - sizeof endLib, endLib, sizeof endLib) == 0,
          std::string(fileName) + " does not run from HEADER to ENDLIB");
    return failures;
}
