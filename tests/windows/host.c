/* host.c -- a plain C host of Quillon, written the way a 32-bit Windows
   program uses Quillon.dll: it loads the library at run time, resolves every
   function by name and by ordinal, declares each through its own function
   pointer type, installs a stdcall error handler and writes files with every
   exported function.

   The same source builds for Windows (LoadLibraryA, GetProcAddress) and for
   Linux (dlopen, dlsym against libquillon.so). Both builds make the same
   calls in the same order and record the same events, so their output files
   and event logs must be identical byte for byte.

   Usage: host LIBRARY       (run in an empty folder; writes the files
                             windows_host.gds, windows_host_2.gds, events.txt)

   Exit status 0 when every check of the host itself passed: the DLL's
   version resource names Quillon (Windows only), both resolutions give one
   address per function, the stack pointer and a local
   canary are unchanged after thousands of calls, and return values are the
   documented ones. */

#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quillon.h"

/* The function pointer types, spelled out argument by argument as a host
   declares them; on 32-bit Windows each is stdcall (QUILLON_CALL). */
typedef ErrorHandler(QUILLON_CALL* SetErrorHandleFn)(ErrorHandler handler);
typedef int(QUILLON_CALL* BeginLibFn)(const char* fileName, double dbUnitInUserUnits,
                                      double dbUnitInMeters);
typedef int(QUILLON_CALL* EndLibFn)(void);
typedef int(QUILLON_CALL* BeginStructureFn)(const char* name);
typedef int(QUILLON_CALL* EndStructureFn)(void);
typedef int(QUILLON_CALL* PathFn)(const int* xs, const int* ys, int count, int width, int layer,
                                  int dataType, int pathType, int elFlags, int plex);
typedef int(QUILLON_CALL* ArcFn)(int centerX, int centerY, int radius, double startAngle,
                                 double endAngle, int count, int width, int layer, int dataType,
                                 int pathType, int elFlags, int plex);
typedef int(QUILLON_CALL* BoundaryFn)(const int* xs, const int* ys, int count, int layer,
                                      int dataType, int elFlags, int plex);
typedef int(QUILLON_CALL* CircleFn)(int centerX, int centerY, int radius, int count, int layer,
                                    int dataType, int elFlags, int plex);
typedef int(QUILLON_CALL* SectorFn)(int centerX, int centerY, int radius, double startAngle,
                                    double endAngle, int count, int layer, int dataType,
                                    int elFlags, int plex);
typedef int(QUILLON_CALL* BoxFn)(int x1, int y1, int x2, int y2, int layer, int boxType,
                                 int elFlags, int plex);
typedef int(QUILLON_CALL* BoxWHFn)(int x, int y, int width, int height, int layer, int boxType,
                                   int elFlags, int plex);
typedef int(QUILLON_CALL* SquareFn)(int x, int y, int side, int layer, int boxType, int elFlags,
                                    int plex);
typedef int(QUILLON_CALL* SrefFn)(const char* structName, int x, int y, int strans, double mag,
                                  double angle, int elFlags, int plex);
typedef int(QUILLON_CALL* ArefFn)(const char* structName, const int* xs, const int* ys,
                                  int columns, int rows, int strans, double mag, double angle,
                                  int elFlags, int plex);
typedef int(QUILLON_CALL* TextFn)(int x, int y, const char* text, int layer, int textType,
                                  int presentation, int pathType, int width, int strans,
                                  double mag, double angle, int elFlags, int plex);
typedef int(QUILLON_CALL* NodeFn)(const int* xs, const int* ys, int count, int layer,
                                  int nodeType, int elFlags, int plex);
typedef int(QUILLON_CALL* SetTimestampFn)(int year, int month, int day, int hour, int minute,
                                          int second);

/* The compiler confirms that each type above is the header's declaration,
   calling convention included. */
#define SAME_AS_HEADER(type, function)                                   \
    _Static_assert(__builtin_types_compatible_p(type, __typeof__(&function)), \
                   #type " differs from quillon.h")
SAME_AS_HEADER(SetErrorHandleFn, SetErrorHandle);
SAME_AS_HEADER(BeginLibFn, GDS_BeginLib);
SAME_AS_HEADER(EndLibFn, GDS_EndLib);
SAME_AS_HEADER(BeginStructureFn, GDS_BeginStructure);
SAME_AS_HEADER(EndStructureFn, GDS_EndStructure);
SAME_AS_HEADER(PathFn, GDS_Path);
SAME_AS_HEADER(ArcFn, GDS_Arc);
SAME_AS_HEADER(BoundaryFn, GDS_Boundary);
SAME_AS_HEADER(CircleFn, GDS_Circle);
SAME_AS_HEADER(SectorFn, GDS_Sector);
SAME_AS_HEADER(BoxFn, GDS_Box);
SAME_AS_HEADER(BoxWHFn, GDS_BoxWH);
SAME_AS_HEADER(SquareFn, GDS_Square);
SAME_AS_HEADER(SrefFn, GDS_Sref);
SAME_AS_HEADER(ArefFn, GDS_Aref);
SAME_AS_HEADER(TextFn, GDS_Text);
SAME_AS_HEADER(NodeFn, GDS_Node);
SAME_AS_HEADER(SetTimestampFn, GDS_SetTimestamp);

/* One complete set of entry points. */
struct Api {
    BeginLibFn beginLib;
    EndLibFn endLib;
    BeginStructureFn beginStructure;
    EndStructureFn endStructure;
    PathFn path;
    ArcFn arc;
    BoundaryFn boundary;
    CircleFn circle;
    SectorFn sector;
    BoxFn box;
    BoxWHFn boxWH;
    SquareFn square;
    SrefFn sref;
    ArefFn aref;
    TextFn text;
    NodeFn node;
    SetErrorHandleFn setErrorHandle;
    SetTimestampFn setTimestamp;
};

static int failures = 0;

static void fail(const char* what) {
    fprintf(stderr, "FAIL: %s\n", what);
    ++failures;
}

/* ------------------------------------------------------------------------ */
/* Loading                                                                   */

/* The exports by ordinal, 1 to 18, for libquillon.so (see dll_loading.h). */
#if !defined(_WIN32)
static const char* nameOfOrdinal(int ordinal) {
    static const char* const names[19] = {
        NULL,       "GDS_BeginLib", "GDS_EndLib", "GDS_BeginStructure", "GDS_EndStructure",
        "GDS_Path", "GDS_Arc",      "GDS_Boundary", "GDS_Circle",       "GDS_Sector",
        "GDS_Box",  "GDS_BoxWH",    "GDS_Square", "GDS_Sref",           "GDS_Aref",
        "GDS_Text", "GDS_Node",     "SetErrorHandle", "GDS_SetTimestamp"};
    return ordinal >= 1 && ordinal <= 18 ? names[ordinal] : NULL;
}
#endif

#include "dll_loading.h"

#if defined(_WIN32)
/* What Windows shows in the file's properties: the version resource. */
static void checkVersionResource(const char* path) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(path, &ignored);
    char* info = size != 0 ? (char*)malloc(size) : NULL;
    char* product = NULL;
    char* description = NULL;
    UINT length = 0;
    if (info == NULL || !GetFileVersionInfoA(path, 0, size, info) ||
        !VerQueryValueA(info, "\\StringFileInfo\\040904B0\\ProductName", (void**)&product,
                        &length) ||
        !VerQueryValueA(info, "\\StringFileInfo\\040904B0\\FileDescription",
                        (void**)&description, &length) ||
        strcmp(product, "Quillon") != 0 || strcmp(description, "Quillon GDSII Stream writer") != 0)
        fail("the version resource does not name Quillon");
    else
        printf("host: %s is \"%s\" (%s)\n", path, description, product);
    free(info);
}
#endif

static void loadApi(Library library, int useName, struct Api* api) {
    api->beginLib = (BeginLibFn)resolve(library, "GDS_BeginLib", 1, useName);
    api->endLib = (EndLibFn)resolve(library, "GDS_EndLib", 2, useName);
    api->beginStructure = (BeginStructureFn)resolve(library, "GDS_BeginStructure", 3, useName);
    api->endStructure = (EndStructureFn)resolve(library, "GDS_EndStructure", 4, useName);
    api->path = (PathFn)resolve(library, "GDS_Path", 5, useName);
    api->arc = (ArcFn)resolve(library, "GDS_Arc", 6, useName);
    api->boundary = (BoundaryFn)resolve(library, "GDS_Boundary", 7, useName);
    api->circle = (CircleFn)resolve(library, "GDS_Circle", 8, useName);
    api->sector = (SectorFn)resolve(library, "GDS_Sector", 9, useName);
    api->box = (BoxFn)resolve(library, "GDS_Box", 10, useName);
    api->boxWH = (BoxWHFn)resolve(library, "GDS_BoxWH", 11, useName);
    api->square = (SquareFn)resolve(library, "GDS_Square", 12, useName);
    api->sref = (SrefFn)resolve(library, "GDS_Sref", 13, useName);
    api->aref = (ArefFn)resolve(library, "GDS_Aref", 14, useName);
    api->text = (TextFn)resolve(library, "GDS_Text", 15, useName);
    api->node = (NodeFn)resolve(library, "GDS_Node", 16, useName);
    api->setErrorHandle = (SetErrorHandleFn)resolve(library, "SetErrorHandle", 17, useName);
    api->setTimestamp = (SetTimestampFn)resolve(library, "GDS_SetTimestamp", 18, useName);
}

/* ------------------------------------------------------------------------ */
/* The event log: every message the library reports and every return value
   that carries a meaning, in order.                                         */

static FILE* events = NULL;
static int messageCount = 0;

static int QUILLON_CALL recordMessage(const char* message) {
    ++messageCount;
    fprintf(events, "message \"%s\"\n", message);
    return 0;
}

static void recordReturn(const char* function, int value) {
    fprintf(events, "return %s %d\n", function, value);
}

/* ------------------------------------------------------------------------ */
/* Stack balance: a callee that removed the wrong number of argument bytes
   would move the stack pointer of the calling loop.                        */

#if defined(__i386__)
#  define READ_STACK_POINTER(sp) __asm__ volatile("movl %%esp, %0" : "=r"(sp))
#elif defined(__x86_64__)
#  define READ_STACK_POINTER(sp) __asm__ volatile("movq %%rsp, %0" : "=r"(sp))
#else
#  error "the stack check knows x86 and x86-64"
#endif

/* One structure holding one element of every kind, drawn through api. */
static void writeEveryElement(const struct Api* api, int k) {
    int xs[8];
    int ys[8];
    char name[32];
    int i;
    for (i = 0; i < 8; ++i) {
        xs[i] = k * 1000 + i * 125 - (i % 2) * 40;
        ys[i] = -k * 300 + i * i * 17;
    }
    snprintf(name, sizeof name, "LOOP_%d", k);
    api->beginStructure(name);
    api->box(k, -k, k + 500, 250 + k, k % 64, k % 3, 0, 0);
    api->boxWH(-k * 10, 7, 300, 40 + k, 2, 1, 0, k);
    api->square(k * 3, k * 5, 77 + k, 3, 0, 0, -k);
    api->boundary(xs, ys, 3 + k % 6, 4, k % 5, 0, 0);
    if (api->path(xs, ys, 2 + k % 7, 10 + k, 5, 0, k % 3, 0, 0) != 2 + k % 7)
        fail("GDS_Path does not return its point count");
    api->arc(k * 11, -k * 13, 1000 + k, 10.0 + k, 80.0 + 2.5 * k, 8 + k % 20, 20, 6, 0, 1, 0, 0);
    api->circle(-k * 7, k * 9, 2000 + 13 * k, 8 + k % 40, 7, 0, 0, 0);
    api->sector(500, -500, 3000 - k, -30.0 + k, 45.5 + k * 1.25, 6 + k % 30, 8, 1, 0, 0);
    if (k == 0) {
        /* Angles whose sine or cosine C libraries round differently: the
           library's own trigonometry must give every build the same points. */
        int count;
        api->circle(-50000, 0, 59413, 4, 7, 1, 0, 0);
        api->circle(1000000, 0, 316868, 4, 7, 1, 0, 0);
        api->sector(-50000, 0, 59413, 0.0, 360.0, 8, 7, 1, 0, 0);
        for (count = 3; count <= 199; ++count) {
            api->circle(12345, -50000, 1999999, count, 7, 2, 0, 0);
            api->arc(-1000, 1000000, 987654, -45.0, 315.0 + count, count, 5, 7, 3, 0, 0, 0);
        }
    }
    api->sref("LOOP_0", k * 100, -k * 100, (k % 2) * 0x8000, 1.0 + k * 0.125, k * 15.0, 0, 0);
    api->aref("LOOP_0", xs, ys, 1 + k % 4, 2 + k % 3, 0, 0.5 * (1 + k % 3), 90.0 * (k % 4), 0, 0);
    api->text(k, k * 2, "Quillon", 9, k % 256, (k % 4) | 0x04, k % 3, 5 * k, 0, 2.0, 30.0 * k, 0,
              0);
    api->node(xs, ys, 1 + k % 8, 10, k % 7, 0, 0);
    /* Reported, and then written with the low half of the type. */
    api->text(0, 0, "type 300", 9, 300, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    api->endStructure();
    /* Refused, so nothing changes. */
    if (api->setTimestamp(2024, 13, 1, 0, 0, 0) != 0)
        fail("GDS_SetTimestamp takes month 13");
}

/* Many calls through both sets of pointers, checking the stack pointer (at
   the same point of every round) and a canary on the stack. */
static void writeLoop(const struct Api* byNames, const struct Api* byOrdinals) {
    volatile uint32_t canary = 0x51C0FFEEu;
    uintptr_t first = 0;
    int k;
    for (k = 0; k < 120; ++k) {
        const struct Api* api = (k % 2 == 0) ? byNames : byOrdinals;
        uintptr_t now = 0;
        READ_STACK_POINTER(now);
        if (k == 0) first = now;
        if (now != first) {
            fprintf(stderr, "FAIL: stack pointer moved by %ld bytes before round %d\n",
                    (long)(now - first), k);
            ++failures;
            return;
        }
        if (canary != 0x51C0FFEEu) {
            fail("stack canary overwritten");
            return;
        }
        if (api->setErrorHandle(recordMessage) != recordMessage)
            fail("SetErrorHandle does not return its argument");
        writeEveryElement(api, k);
    }
}

/* Calls that report messages (each message text of the list that can be
   provoked without breaking the structure of the file). */
static void provokeMessages(const struct Api* api) {
    static int manyXs[200];
    static int manyYs[200];
    static char longText[600];
    int i;
    for (i = 0; i < 200; ++i) {
        manyXs[i] = i * 10;
        manyYs[i] = (i % 2) * 10 + i;
    }
    memset(longText, 'q', sizeof longText - 1);
    longText[sizeof longText - 1] = '\0';

    api->beginStructure("TOP");
    api->boundary(manyXs, manyYs, 2, 1, 0, 0, 0);    /* not enough points */
    api->boundary(manyXs, manyYs, 200, 1, 0, 0, 0);  /* too many points */
    recordReturn("GDS_Path", api->path(manyXs, manyYs, 1, 5, 1, 0, 0, 0, 0));
    recordReturn("GDS_Path", api->path(manyXs, manyYs, 65538, 5, 1, 0, 0, 0, 0));
    api->node(manyXs, manyYs, 0, 1, 0, 0, 0);        /* not enough points */
    api->node(manyXs, manyYs, 51, 1, 0, 0, 0);       /* too many points */
    api->text(10, 10, NULL, 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    api->text(10, 10, longText, 1, 0, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    api->text(10, 10, "t", 1, 256, 0, 0, 0, 0, 1.0, 0.0, 0, 0);
    api->circle(0, 0, 100, 2, 1, 0, 0, 0);           /* reported twice */
    api->arc(0, 0, 100, 0.0, 90.0, 200, 1, 1, 0, 0, 0, 0);
    api->sector(0, 0, 100, 0.0, 90.0, 2, 1, 0, 0, 0);
    api->endStructure();
    api->beginStructure("TOP");                      /* name already inserted */
    api->endStructure();
}

int main(int argc, char** argv) {
    Library library;
    struct Api byNames;
    struct Api byOrdinals;

    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    library = openLibrary(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "FAIL: cannot load %s\n", argv[1]);
        return 1;
    }
#if defined(_WIN32)
    checkVersionResource(argv[1]);
#endif
    loadApi(library, 1, &byNames);
    loadApi(library, 0, &byOrdinals);
    if (failures != 0) return 1;

    events = fopen("events.txt", "wb");
    if (events == NULL) {
        fprintf(stderr, "FAIL: cannot write events.txt\n");
        return 1;
    }

    recordReturn("SetErrorHandle",
                 byNames.setErrorHandle(recordMessage) == recordMessage ? 1 : 0);
    byNames.endLib();                                  /* no library open */
    byOrdinals.box(0, 0, 1, 1, 1, 0, 0, 0);            /* no structure open */
    recordReturn("GDS_SetTimestamp", byNames.setTimestamp(1899, 1, 1, 0, 0, 0));
    recordReturn("GDS_SetTimestamp", byOrdinals.setTimestamp(2024, 2, 29, 23, 59, 58));
    byNames.beginLib("no_such_folder/x.gds", 0.001, 1e-9); /* cannot open */
    byNames.endLib();

    byNames.beginLib("windows_host.gds", 0.001, 1e-9);
    byOrdinals.beginLib("another.gds", 1.0, 1e-6);     /* export running */
    writeLoop(&byNames, &byOrdinals);
    provokeMessages(&byOrdinals);
    byNames.endLib();

    /* A second file, ended while its structure is still open. */
    recordReturn("GDS_SetTimestamp", byOrdinals.setTimestamp(1999, 12, 31, 12, 0, 0));
    byOrdinals.beginLib("windows_host_2.gds", 0.25, 2.5e-10);
    byOrdinals.beginStructure("A");
    byOrdinals.square(1, 2, 3, 4, 5, 6, 7);
    byOrdinals.endLib();                               /* structure not closed */

    fprintf(events, "messages %d\n", messageCount);
    fclose(events);
    if (failures != 0) return 1;
    printf("host: %d messages, every check passed\n", messageCount);
    return 0;
}
