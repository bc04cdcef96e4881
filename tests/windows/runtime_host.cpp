// runtime_host.cpp -- a C++ host of the shared-runtime Quillon.dll, built
// with mingw-w64 against the same GCC and C++ runtime DLLs and run under
// Wine. One C++ runtime in the process: the GDSIIException the DLL throws
// is counted and caught by the same copy that the host asks.
//
//   runtime_host            catches three GDSIIExceptions and then finds no
//                           exception in flight; a handler's own exception
//                           crosses the DLL to the host's catch; exit 0
//   runtime_host unitbuf LOG
//                           logs to LOG through a unitbuf stream, catches a
//                           GDSIIException, logs one more line and aborts
//                           without flushing anything: both lines must be in
//                           LOG
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

#include "runtime_checks.h"

using namespace runtime_checks;

namespace {

// The host's own exception type, thrown by its error handler.
struct HostError {
    std::string text;
};

int QUILLON_CALL throwingHandler(const char* message) {
    throw HostError{std::string("host handler: ") + message};
}

std::vector<unsigned char> readFile(const char* name) {
    std::ifstream in(name, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in),
                                      std::istreambuf_iterator<char>());
}

// The text of the HostError that call lets through, checking the count of
// exceptions in flight and a guarded host frame as for GDSIIException.
template <typename Call>
std::string hostErrorFrom(const char* what, Call call) {
    bool rolledBack = false;
    std::string text = "(nothing thrown)";
    try {
        TransactionGuard guard(&rolledBack);
        call();
    } catch (const HostError& error) {
        text = error.text;
    } catch (const GDSIIException& error) {
        text = "GDSIIException " + error.message;
    }
    check(rolledBack, std::string(what) + ": the guard committed while the exception unwound it");
    expectNoExceptionInFlight(what);
    return text;
}

int catchThree() {
    expectText("GDS_EndLib while idle", caughtFrom("GDS_EndLib", [] { GDS_EndLib(); }),
               "Error: Process is already stoped.");
    expectText("GDS_EndStructure while idle",
               caughtFrom("GDS_EndStructure", [] { GDS_EndStructure(); }),
               "Error: Structure is not opened.");
    expectText("GDS_Circle outside a structure",
               caughtFrom("GDS_Circle", [] { GDS_Circle(0, 0, 100, 16, 1, 0, 0, 0); }),
               "Error: Structure is not opened.");
    expectNoExceptionInFlight("three caught GDSIIExceptions");

    // The handler's own exception leaves through the DLL's frames (the
    // exported function, the writer, the error report) to the host. The
    // error is reported before any record, so the file stays whole.
    GDS_SetTimestamp(2024, 1, 2, 3, 4, 5);
    GDS_BeginLib("runtime_host.gds", 0.001, 1e-9);
    GDS_BeginStructure("A");
    check(SetErrorHandle(throwingHandler) == throwingHandler,
          "SetErrorHandle does not return its argument");
    expectText("a throwing handler under GDS_BeginStructure",
               hostErrorFrom("the handler's exception",
                             [] { GDS_BeginStructure("B"); }),
               "host handler: Error: Structure is already opened.");
    expectText("a throwing handler under GDS_Text",
               hostErrorFrom("the handler's second exception", [] {
                   GDS_Text(0, 0, nullptr, 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
               }),
               "host handler: errStringIsNULL");
    SetErrorHandle(nullptr);
    GDS_Box(0, 0, 10, 10, 1, 0, 0, 0);
    GDS_EndStructure();
    GDS_EndLib();
    expectText("GDS_EndLib after the file",
               caughtFrom("the fourth GDSIIException", [] { GDS_EndLib(); }),
               "Error: Process is already stoped.");

    const std::vector<unsigned char> file = readFile("runtime_host.gds");
    const unsigned char header[] = {0x00, 0x06, 0x00, 0x02, 0x00, 0x03};
    const unsigned char endLib[] = {0x00, 0x04, 0x04, 0x00};
    check(file.size() > sizeof header + sizeof endLib &&
              std::memcmp(file.data(), header, sizeof header) == 0 &&
              std::memcmp(file.data() + file.size() - sizeof endLib, endLib, sizeof endLib) == 0,
          "runtime_host.gds does not run from HEADER to ENDLIB");

    if (failures != 0) return 1;
    std::printf("runtime host: four GDSIIExceptions and two handler exceptions caught, "
                "none left in flight\n");
    return 0;
}

[[noreturn]] void logAndCrash(const char* logName) {
    std::ofstream log(logName);
    log << std::unitbuf;
    log << "before the catch\n";
    try {
        GDS_EndStructure();
    } catch (const GDSIIException& error) {
        log << "caught: " << error.message << "\n";
    }
    log << "after the catch\n";
    // A crash: no destructor runs and no stream is flushed.
    std::abort();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 1) return catchThree();
    if (argc == 3 && std::strcmp(argv[1], "unitbuf") == 0) logAndCrash(argv[2]);
    std::fprintf(stderr, "usage: runtime_host [unitbuf LOG]\n");
    return 2;
}
