// call-instructions: the element calls of quillon-bench's small workloads,
// made N times into /dev/null, for valgrind's callgrind to count the
// instructions they execute. Unlike seconds, the count is the same on every
// run of the same binary, whatever else the machine does, so that two
// builds of the library can be compared one instruction at a time:
//
//   bench/call_instructions.sh [LIBRARY_DIR ...]
//
// runs it with N = 0 and N = 100,000 against each libquillon and prints the
// instructions per call (the difference over N: setup cancels out).
//
//   call-instructions KIND N    KIND: box, path, text or reference
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quillon.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s box|path|text|reference N\n", argv[0]);
        return 2;
    }
    static const char* const kinds[] = {"box", "path", "text", "reference"};
    int kind = 0;
    while (kind < 4 && std::strcmp(argv[1], kinds[kind]) != 0) ++kind;
    if (kind == 4) {
        std::fprintf(stderr, "%s: unknown kind %s\n", argv[0], argv[1]);
        return 2;
    }
    const int n = std::atoi(argv[2]);
    const double mags[4] = {1.0, 2.5, 0.5, 10.0};
    const double angles[4] = {0.0, 90.0, 45.5, 270.0};
    int xs[20], ys[20];
    for (int k = 0; k < 20; ++k) {
        xs[k] = 1000 * k;
        ys[k] = k % 2 ? 800 : -800;
    }
    GDS_BeginLib("/dev/null", 0.001, 1e-9);
    GDS_BeginStructure("LEAF");
    GDS_EndStructure();
    GDS_BeginStructure("TOP");
    // As in quillon-bench: boxes, 20-point paths, 16-character texts with
    // transforms, SREFs and AREFs in turn.
    for (int i = 0; i < n; ++i) {
        const int k = i % 64;
        if (kind == 0) {
            GDS_Box(i, i, i + 1500, i + 700, k, 0, 0, 0);
        } else if (kind == 1) {
            GDS_Path(xs, ys, 20, 100, k, 0, i % 3, 0, 0);
        } else if (kind == 2) {
            GDS_Text(i % 5000 * 300, i / 5000 * 300, "NET_000000007919", k, k % 4, 5, 0, 0,
                     (k & 1) ? 0x8000 : 0, mags[k % 4], angles[(k / 4) % 4], 0, 0);
        } else if (i % 2 == 0) {
            GDS_Sref("LEAF", i, i, (k & 2) ? 0x8000 : 0, mags[k % 4], angles[k / 4 % 4], 0, 0);
        } else {
            const int ax[3] = {i, i + 2000, i}, ay[3] = {i, i, i + 1000};
            GDS_Aref("LEAF", ax, ay, 10, 5, (k & 2) ? 0x8000 : 0, mags[k % 4], angles[k / 4 % 4],
                     0, 0);
        }
    }
    GDS_EndStructure();
    GDS_EndLib();
    return 0;
}
