// Writes a library for the readers of the gzip tests:
//   gzip-sample [--unfinished] FILE REPEATS
// Structure TOP holds REPEATS rows of a boundary, a path, a box and a text
// on layers 1 to 4; structure ARRAY refers to it. Whether FILE is
// compressed follows from its name. --unfinished exits without GDS_EndLib,
// leaving the library to finish the file when it is unloaded.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillon.h"

int main(int argc, char** argv) {
    const bool unfinished = argc > 1 && std::strcmp(argv[1], "--unfinished") == 0;
    if (unfinished) {
        --argc;
        ++argv;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s [--unfinished] FILE REPEATS\n", argv[0]);
        return 2;
    }
    const int repeats = std::atoi(argv[2]);
    try {
        GDS_SetTimestamp(2026, 12, 7, 8, 32, 51);
        GDS_BeginLib(argv[1], 0.001, 1e-9);
        GDS_BeginStructure("TOP");
        for (int i = 0; i < repeats; ++i) {
            const int y = 1000 * i;
            const int xs[] = {0, 800, 800, 400};
            const int ys[] = {y, y, y + 600, y + 900};
            GDS_Boundary(xs, ys, 4, 1, 0, 0, 0);
            GDS_Path(xs, ys, 3, 20, 2, 0, 0, 0, 0);
            GDS_Box(1000, y, 1500, y + 400, 3, 0, 0, 0);
            const std::string label = "L" + std::to_string(i);
            GDS_Text(2000, y, label.c_str(), 4, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
        }
        GDS_EndStructure();
        GDS_BeginStructure("ARRAY");
        GDS_Sref("TOP", 0, 0, 0, 1.0, 0.0, 0, 0);
        GDS_EndStructure();
        if (!unfinished) GDS_EndLib();
    } catch (const GDSIIException& e) {
        std::fprintf(stderr, "%s\n", e.message.c_str());
        return 1;
    }
    return 0;
}
