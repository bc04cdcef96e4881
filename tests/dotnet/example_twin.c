/* example_twin.c -- the calls of bindings/dotnet/Example.cs, made from C in
   the same order with the same arguments and printing the same lines, so
   that the two programs' files and outputs compare byte for byte.
   Usage: example_twin FILE YEAR MONTH DAY HOUR MINUTE SECOND */
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quillon.h"

static int QUILLON_CALL onError(const char* message) {
    printf("report: %s\n", message);
    return 0;
}

static void QUILLON_CALL onHandleError(void* userData, int status, const char* message) {
    printf("handle report %d: %d %s\n", (int)(size_t)userData, status, message);
}

/* WriteThroughHandle of Example.cs. The layout line prints what C knows:
   sizeof and offsetof, which the C# side's marshalled layout must equal. */
static int writeThroughHandle(const char* fileName, char** stamp) {
    int boundaryXs[] = {0, 4000, 2000}, boundaryYs[] = {0, 0, 3000};
    int pathXs[] = {0, 10000, 10000}, pathYs[] = {-1000, -1000, 8000};
    int arefXs[] = {0, 40000, 0}, arefYs[] = {20000, 20000, 30000};
    int nodeXs[] = {0, 100, 200}, nodeYs[] = {0, 100, 0};
    QuillonOptions options;
    QuillonWriter* w;
    int status, i;
    quillon_default_options(&options);
    printf("QuillonOptions: size %u marshalled %u, offsets %u %u %u %u %u %u\n", options.size,
           (unsigned)sizeof(QuillonOptions), (unsigned)offsetof(QuillonOptions, libraryName),
           (unsigned)offsetof(QuillonOptions, timestamp),
           (unsigned)offsetof(QuillonOptions, onError),
           (unsigned)offsetof(QuillonOptions, userData),
           (unsigned)offsetof(QuillonOptions, strict),
           (unsigned)offsetof(QuillonOptions, compression));
    options.libraryName = "HANDLES";
    for (i = 0; i < 6; ++i) options.timestamp[i] = atoi(stamp[i]);
    options.onError = onHandleError;
    options.userData = (void*)(size_t)7;
    w = quillon_open(fileName, 0.001, 1e-9, &options, &status);
    printf("quillon_open: %d\n", status);
    if (w == NULL) return 1;

    quillon_begin_structure(w, "CELL");
    quillon_property(w, 1, "net VDD");
    quillon_property(w, 2, "from .NET");
    quillon_boundary(w, boundaryXs, boundaryYs, 3, 1, 0, 0, 0);
    quillon_box(w, -100, -100, 4100, 3100, 2, 0, 0, 0);
    quillon_box_wh(w, 5000, 0, 300, 200, 2, 1, 0, 0);
    quillon_square(w, 6000, 0, 250, 2, 0, 0, 0);
    quillon_circle(w, 2000, 1200, 600, 32, 3, 1, 0, 0);
    quillon_end_structure(w);

    quillon_begin_structure(w, "TOP");
    quillon_path(w, pathXs, pathYs, 3, 500, 5, 0, 2, 0, 0);
    quillon_arc(w, 5000, 5000, 3000, 0.0, 270.0, 48, 200, 6, 0, 1, 0, 0);
    quillon_sector(w, -5000, 5000, 2000, 30.0, 300.0, 40, 7, 0, 0, 0);
    quillon_property(w, 3, "reference");
    quillon_sref(w, "CELL", 30000, 0, 0x8000, 1.5, 90.0, 0, 0);
    quillon_aref(w, "CELL", arefXs, arefYs, 4, 2, 0, 1.0, 0.0, 0, 0);
    quillon_text(w, 0, -3000, "handle from .NET", 63, 0, 0x15, 0, 0, 0, 2.0, 0.0, 0, 0);
    quillon_node(w, nodeXs, nodeYs, 3, 9, 1, 0, 0);
    status = quillon_box(w, 0, 0, 10, 10, 70000, 0, 0, 0);
    printf("refused: %d %s\n", status, quillon_last_error(w));
    quillon_end_structure(w);
    printf("quillon_close: %d\n", quillon_close(w));
    printf("wrote %s\n", fileName);
    return 0;
}

int main(int argc, char** argv) {
    int boundaryXs[] = {0, 4000, 2000}, boundaryYs[] = {0, 0, 3000};
    int pathXs[] = {0, 10000, 10000}, pathYs[] = {-1000, -1000, 8000};
    int arefXs[] = {0, 40000, 0}, arefYs[] = {20000, 20000, 30000};
    int nodeXs[] = {0, 100, 200}, nodeYs[] = {0, 100, 0};
    int points;

    if (argc != 8) {
        fprintf(stderr, "usage: example_twin FILE YEAR MONTH DAY HOUR MINUTE SECOND\n");
        return 2;
    }
    SetErrorHandle(onError);
    if (GDS_SetTimestamp(atoi(argv[2]), atoi(argv[3]), atoi(argv[4]), atoi(argv[5]),
                         atoi(argv[6]), atoi(argv[7])) != 1)
        return 1;

    printf("GDS_SetStrict: %d\n", GDS_SetStrict(1));
    GDS_BeginLib(argv[1], 0.001, 1e-9);

    GDS_BeginStructure("CELL");
    GDS_Boundary(boundaryXs, boundaryYs, 3, 1, 0, 0, 0);
    GDS_Box(-100, -100, 4100, 3100, 2, 0, 0, 0);
    GDS_Circle(2000, 1200, 600, 32, 3, 1, 0, 0);
    GDS_EndStructure();

    GDS_EndStructure();

    GDS_BeginStructure("TOP");
    points = GDS_Path(pathXs, pathYs, 3, 500, 5, 0, 2, 0, 0);
    printf("GDS_Path: %d\n", points);
    GDS_Arc(5000, 5000, 3000, 0.0, 270.0, 48, 200, 6, 0, 1, 0, 0);
    GDS_Sector(-5000, 5000, 2000, 30.0, 300.0, 40, 7, 0, 0, 0);
    GDS_BoxWH(20000, 0, 3000, 1500, 8, 2, 0, 0);
    GDS_Square(20000, 3000, 1000, 8, 0, 0, 0);
    GDS_Sref("CELL", 30000, 0, 0x8000, 1.5, 90.0, 0, 0);
    GDS_Aref("CELL", arefXs, arefYs, 4, 2, 0, 1.0, 0.0, 0, 0);
    GDS_Text(0, -3000, "Quillon from .NET", 63, 0, 0x15, 0, 0, 0, 2.0, 0.0, 0, 0);
    GDS_Node(nodeXs, nodeYs, 3, 9, 1, 0, 0);
    GDS_Text(0, 0, NULL, 63, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    GDS_EndStructure();

    GDS_EndLib();
    printf("wrote %s\n", argv[1]);
    {
        char handleName[256];
        snprintf(handleName, sizeof handleName, "handle_%s", argv[1]);
        return writeThroughHandle(handleName, argv + 2);
    }
}
