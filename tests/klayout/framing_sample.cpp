// Writes a library for KLayout to read back:
//   quillon-framing-sample [--unfinished] FILE USER_UNITS METRE_UNITS NAME...
// with one empty structure per NAME. --unfinished exits without GDS_EndLib,
// leaving the library to save what was written when it is unloaded.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quillon.h"

int main(int argc, char** argv) {
    const bool unfinished = argc > 1 && std::strcmp(argv[1], "--unfinished") == 0;
    if (unfinished) {
        --argc;
        ++argv;
    }
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s FILE USER_UNITS METRE_UNITS NAME...\n", argv[0]);
        return 2;
    }
    try {
        GDS_SetTimestamp(2026, 12, 7, 8, 32, 51);
        GDS_BeginLib(argv[1], std::strtod(argv[2], nullptr), std::strtod(argv[3], nullptr));
        for (int i = 4; i < argc; ++i) {
            GDS_BeginStructure(argv[i]);
            GDS_EndStructure();
        }
        if (!unfinished) GDS_EndLib();
    } catch (const GDSIIException& e) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    return 0;
}
