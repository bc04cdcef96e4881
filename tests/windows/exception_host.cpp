// exception_host.cpp -- a C++ host of Quillon.dll, linked with its import
// library, that installs no error handler and so receives every error as a
// GDSIIException thrown out of the DLL. Built with the same mingw-w64
// compiler as the DLL and run under Wine.
//
// Exit status 0 when every exception arrived where the host expected it,
// with the expected text, through host frames with destructors and through
// a rethrow, and when the library went on writing a valid file afterwards.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "quillon.h"

namespace {

int failures = 0;

void check(bool condition, const std::string& what) {
    if (!condition) {
        std::fprintf(stderr, "FAIL: %s\n", what.c_str());
        ++failures;
    }
}

// The text of the GDSIIException that call throws, or "(nothing thrown)".
template <typename Call>
std::string thrownBy(Call call) {
    try {
        call();
    } catch (const GDSIIException& error) {
        return error.message;
    }
    return "(nothing thrown)";
}

void expectThrow(const char* what, const std::string& thrown, const char* expected) {
    check(thrown == expected, std::string(what) + ": got \"" + thrown + "\", expected \"" +
                                  expected + "\"");
}

// Counts destructor runs of host objects that an exception unwinds.
int unwoundGuards = 0;
struct Guard {
    ~Guard() { ++unwoundGuards; }
};

// Host frames with cleanups between the DLL and the handler.
int boxOutsideStructure(int depth) {
    Guard guard;
    if (depth > 0) return boxOutsideStructure(depth - 1) + 1;
    return GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
}

int QUILLON_CALL recordingHandler(const char*) { return 0; }

std::vector<unsigned char> readFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

}  // namespace

int main() {
    // Straight out of an exported function.
    expectThrow("GDS_EndLib while idle", thrownBy([] { GDS_EndLib(); }),
                "Error: Process is already stoped.");
    expectThrow("GDS_EndStructure while idle", thrownBy([] { GDS_EndStructure(); }),
                "Error: Structure is not opened.");

    // From deep inside the DLL (the curve writer's own checks).
    expectThrow("GDS_Circle outside a structure",
                thrownBy([] { GDS_Circle(0, 0, 100, 16, 1, 0, 0, 0); }),
                "Error: Structure is not opened.");

    // Through host frames whose destructors must run on the way.
    unwoundGuards = 0;
    expectThrow("GDS_Box below three host frames",
                thrownBy([] { boxOutsideStructure(2); }), "Error: Structure is not opened.");
    check(unwoundGuards == 3, "the three host frames were not unwound");

    // Caught by catch (...), rethrown by the host, caught by type.
    std::string rethrown = "(nothing thrown)";
    try {
        try {
            GDS_Node(nullptr, nullptr, 1, 1, 0, 0, 0);
        } catch (...) {
            throw;
        }
    } catch (const GDSIIException& error) {
        rethrown = error.what();
    }
    expectThrow("GDS_Node rethrown", rethrown, "Error: Structure is not opened.");

    // A handler takes the errors while installed; removing it brings the
    // exceptions back.
    check(SetErrorHandle(recordingHandler) == recordingHandler,
          "SetErrorHandle does not return its argument");
    check(thrownBy([] { GDS_EndLib(); }) == "(nothing thrown)",
          "an error threw although a handler was installed");
    check(SetErrorHandle(nullptr) == nullptr, "SetErrorHandle(NULL) does not return NULL");
    expectThrow("GDS_EndLib after removing the handler", thrownBy([] { GDS_EndLib(); }),
                "Error: Process is already stoped.");

    // The library carries on after the exceptions: a duplicate name throws
    // and opens no structure in the file, so an element and an ENDSTR after
    // it are refused too instead of landing outside any structure; the file
    // is finished normally, and KLayout reads it (checked by the test).
    GDS_SetTimestamp(2024, 1, 2, 3, 4, 5);
    GDS_BeginLib("exception_host.gds", 0.001, 1e-9);
    GDS_BeginStructure("A");
    GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
    GDS_EndStructure();
    expectThrow("GDS_BeginStructure with a used name",
                thrownBy([] { GDS_BeginStructure("A"); }),
                "Error: Structure with this name is already inserted.");
    expectThrow("GDS_Text after the refused structure",
                thrownBy([] { GDS_Text(0, 0, "T", 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0); }),
                "Error: Structure is not opened.");
    expectThrow("GDS_EndStructure after the refused structure",
                thrownBy([] { GDS_EndStructure(); }), "Error: Structure is not opened.");
    GDS_BeginStructure("B");
    expectThrow("GDS_Text without text",
                thrownBy([] { GDS_Text(0, 0, nullptr, 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0); }),
                "errStringIsNULL");
    GDS_EndStructure();
    GDS_EndLib();

    // HEADER (version 3) first and ENDLIB last.
    const std::vector<unsigned char> file = readFile("exception_host.gds");
    const unsigned char header[] = {0x00, 0x06, 0x00, 0x02, 0x00, 0x03};
    const unsigned char endLib[] = {0x00, 0x04, 0x04, 0x00};
    check(file.size() > sizeof header + sizeof endLib &&
              std::memcmp(file.data(), header, sizeof header) == 0 &&
              std::memcmp(file.data() + file.size() - sizeof endLib, endLib, sizeof endLib) == 0,
          "exception_host.gds does not run from HEADER to ENDLIB");

    if (failures != 0) return 1;
    std::printf("exception host: every GDSIIException reached the host\n");
    return 0;
}
