/* handle_host.c -- a plain C host of Quillon's handle API, written the way a
   Windows program uses Quillon.dll: it loads the library at run time,
   resolves every handle function by name and by ordinal through its own
   function pointer type, opens two writers and interleaves calls to both.

   The same source builds for Windows (LoadLibraryA, GetProcAddress) and for
   Linux (dlopen, dlsym against libquillon.so); both make the same calls, so
   their files and event logs must be identical byte for byte.

   A third writer writes a gzip file (handle_c.gds.gz) with properties on a
   polygon of 10,000 vertices, which the library cuts into pieces; the flat
   extensions (GDS_SetStrict, GDS_Property, GDS_Polygon, GDS_SetPolygonLimit)
   write flat_c.gds.gz the same way. The cut points and the deflate stream
   must come out the same on every platform.

   A fourth writer draws the shapes by tolerance, bent and extended paths
   and text polygons (handle_shapes.gds): their points come from the
   library's own sine and cosine, so they too must match to the byte. The
   same calls go to handle_shapes.oas as OASIS (by the name), without
   CBLOCKs (the DLLs deflate with zlib, Linux with ISA-L and libdeflate, as
   for gzip files), CRC32 included; its paths of odd width are refused
   there.

   Usage: handle_host LIBRARY   (run in an empty folder; writes handle_a.gds,
                                handle_b.gds, handle_c.gds.gz, flat_c.gds.gz,
                                handle_shapes.gds, handle_shapes.oas and
                                handle_events.txt)

   Exit status 0 when both resolutions agree, every status is the documented
   one and the strict refusal is reported by status, callback and
   quillon_last_error. */

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "quillon.h"

typedef void(QUILLON_CALL* DefaultOptionsFn)(QuillonOptions* options);
typedef QuillonWriter*(QUILLON_CALL* OpenFn)(const char* fileName, double dbUnitInUserUnits,
                                             double dbUnitInMeters,
                                             const QuillonOptions* options, int* status);
typedef int(QUILLON_CALL* CloseFn)(QuillonWriter* writer);
typedef const char*(QUILLON_CALL* LastErrorFn)(const QuillonWriter* writer);
typedef int(QUILLON_CALL* BeginStructureFn)(QuillonWriter* writer, const char* name);
typedef int(QUILLON_CALL* EndStructureFn)(QuillonWriter* writer);
typedef int(QUILLON_CALL* BoxFn)(QuillonWriter* writer, int x1, int y1, int x2, int y2,
                                 int layer, int boxType, int elFlags, int plex);
typedef int(QUILLON_CALL* BoxWHFn)(QuillonWriter* writer, int x, int y, int width, int height,
                                   int layer, int boxType, int elFlags, int plex);
typedef int(QUILLON_CALL* SquareFn)(QuillonWriter* writer, int x, int y, int side, int layer,
                                    int boxType, int elFlags, int plex);
typedef int(QUILLON_CALL* BoundaryFn)(QuillonWriter* writer, const int* xs, const int* ys,
                                      int count, int layer, int dataType, int elFlags, int plex);
typedef int(QUILLON_CALL* PathFn)(QuillonWriter* writer, const int* xs, const int* ys, int count,
                                  int width, int layer, int dataType, int pathType, int elFlags,
                                  int plex);
typedef int(QUILLON_CALL* CircleFn)(QuillonWriter* writer, int centerX, int centerY, int radius,
                                    int count, int layer, int dataType, int elFlags, int plex);
typedef int(QUILLON_CALL* SectorFn)(QuillonWriter* writer, int centerX, int centerY, int radius,
                                    double startAngle, double endAngle, int count, int layer,
                                    int dataType, int elFlags, int plex);
typedef int(QUILLON_CALL* ArcFn)(QuillonWriter* writer, int centerX, int centerY, int radius,
                                 double startAngle, double endAngle, int count, int width,
                                 int layer, int dataType, int pathType, int elFlags, int plex);
typedef int(QUILLON_CALL* SrefFn)(QuillonWriter* writer, const char* structName, int x, int y,
                                  int strans, double mag, double angle, int elFlags, int plex);
typedef int(QUILLON_CALL* ArefFn)(QuillonWriter* writer, const char* structName, const int* xs,
                                  const int* ys, int columns, int rows, int strans, double mag,
                                  double angle, int elFlags, int plex);
typedef int(QUILLON_CALL* TextFn)(QuillonWriter* writer, int x, int y, const char* text,
                                  int layer, int textType, int presentation, int pathType,
                                  int width, int strans, double mag, double angle, int elFlags,
                                  int plex);
typedef int(QUILLON_CALL* NodeFn)(QuillonWriter* writer, const int* xs, const int* ys, int count,
                                  int layer, int nodeType, int elFlags, int plex);
typedef int(QUILLON_CALL* PropertyFn)(QuillonWriter* writer, int attribute, const char* value);
typedef int(QUILLON_CALL* PolygonFn)(QuillonWriter* writer, const int* xs, const int* ys,
                                     int count, int layer, int dataType, int elFlags, int plex);
typedef int(QUILLON_CALL* SetPolygonLimitFn)(QuillonWriter* writer, int limit);
typedef int(QUILLON_CALL* EllipseFn)(QuillonWriter* writer, int centerX, int centerY,
                                     int radiusX, int radiusY, int innerRadiusX,
                                     int innerRadiusY, double startAngle, double endAngle,
                                     double tolerance, int layer, int dataType, int elFlags,
                                     int plex);
typedef int(QUILLON_CALL* PathExFn)(QuillonWriter* writer, const int* xs, const int* ys,
                                    int count, int width, int pathType, int beginExtension,
                                    int endExtension, int bendRadius, double tolerance,
                                    int layer, int dataType, int elFlags, int plex);
typedef int(QUILLON_CALL* TextPolygonsFn)(QuillonWriter* writer, const char* text, int x, int y,
                                          int height, int anchor, double angle, int layer,
                                          int dataType);
typedef int(QUILLON_CALL* ArcPathFn)(QuillonWriter* writer, int centerX, int centerY,
                                     int radius, double startAngle, double endAngle,
                                     double tolerance, int width, int pathType,
                                     int beginExtension, int endExtension, int layer,
                                     int dataType, int elFlags, int plex);

/* The flat extensions, and the flat calls that frame their library. */
typedef int(QUILLON_CALL* FlatBeginLibFn)(const char* fileName, double dbUnitInUserUnits,
                                          double dbUnitInMeters);
typedef int(QUILLON_CALL* FlatVoidFn)(void);
typedef int(QUILLON_CALL* FlatBeginStructureFn)(const char* name);
typedef int(QUILLON_CALL* FlatSetTimestampFn)(int year, int month, int day, int hour,
                                              int minute, int second);
typedef int(QUILLON_CALL* FlatIntFn)(int value);
typedef int(QUILLON_CALL* FlatPropertyFn)(int attribute, const char* value);
typedef int(QUILLON_CALL* FlatPolygonFn)(const int* xs, const int* ys, int count, int layer,
                                         int dataType, int elFlags, int plex);

/* The compiler confirms that each type above is the header's declaration,
   calling convention included. */
#define SAME_AS_HEADER(type, function)                                        \
    _Static_assert(__builtin_types_compatible_p(type, __typeof__(&function)), \
                   #type " differs from quillon.h")
SAME_AS_HEADER(DefaultOptionsFn, quillon_default_options);
SAME_AS_HEADER(OpenFn, quillon_open);
SAME_AS_HEADER(CloseFn, quillon_close);
SAME_AS_HEADER(LastErrorFn, quillon_last_error);
SAME_AS_HEADER(BeginStructureFn, quillon_begin_structure);
SAME_AS_HEADER(EndStructureFn, quillon_end_structure);
SAME_AS_HEADER(BoxFn, quillon_box);
SAME_AS_HEADER(BoxWHFn, quillon_box_wh);
SAME_AS_HEADER(SquareFn, quillon_square);
SAME_AS_HEADER(BoundaryFn, quillon_boundary);
SAME_AS_HEADER(PathFn, quillon_path);
SAME_AS_HEADER(CircleFn, quillon_circle);
SAME_AS_HEADER(SectorFn, quillon_sector);
SAME_AS_HEADER(ArcFn, quillon_arc);
SAME_AS_HEADER(SrefFn, quillon_sref);
SAME_AS_HEADER(ArefFn, quillon_aref);
SAME_AS_HEADER(TextFn, quillon_text);
SAME_AS_HEADER(NodeFn, quillon_node);
SAME_AS_HEADER(PropertyFn, quillon_property);
SAME_AS_HEADER(PolygonFn, quillon_polygon);
SAME_AS_HEADER(SetPolygonLimitFn, quillon_set_polygon_limit);
SAME_AS_HEADER(EllipseFn, quillon_ellipse);
SAME_AS_HEADER(PathExFn, quillon_path_ex);
SAME_AS_HEADER(TextPolygonsFn, quillon_text_polygons);
SAME_AS_HEADER(ArcPathFn, quillon_arc_path);
SAME_AS_HEADER(FlatBeginLibFn, GDS_BeginLib);
SAME_AS_HEADER(FlatVoidFn, GDS_EndLib);
SAME_AS_HEADER(FlatBeginStructureFn, GDS_BeginStructure);
SAME_AS_HEADER(FlatVoidFn, GDS_EndStructure);
SAME_AS_HEADER(FlatSetTimestampFn, GDS_SetTimestamp);
SAME_AS_HEADER(FlatIntFn, GDS_SetStrict);
SAME_AS_HEADER(FlatPropertyFn, GDS_Property);
SAME_AS_HEADER(FlatPolygonFn, GDS_Polygon);
SAME_AS_HEADER(FlatIntFn, GDS_SetPolygonLimit);

struct Api {
    DefaultOptionsFn defaultOptions;
    OpenFn open;
    CloseFn close;
    LastErrorFn lastError;
    BeginStructureFn beginStructure;
    EndStructureFn endStructure;
    BoxFn box;
    BoxWHFn boxWH;
    SquareFn square;
    BoundaryFn boundary;
    PathFn path;
    CircleFn circle;
    SectorFn sector;
    ArcFn arc;
    SrefFn sref;
    ArefFn aref;
    TextFn text;
    NodeFn node;
    PropertyFn property;
    PolygonFn polygon;
    SetPolygonLimitFn setPolygonLimit;
};

/* The shapes by tolerance, at ordinals of their own. */
struct ShapeApi {
    EllipseFn ellipse;
    PathExFn pathEx;
    TextPolygonsFn textPolygons;
    ArcPathFn arcPath;
};

struct FlatApi {
    FlatBeginLibFn beginLib;
    FlatVoidFn endLib;
    FlatBeginStructureFn beginStructure;
    FlatVoidFn endStructure;
    FlatSetTimestampFn setTimestamp;
    FlatIntFn setStrict;
    FlatPropertyFn property;
    FlatPolygonFn polygon;
    FlatIntFn setPolygonLimit;
};

static int failures = 0;
static FILE* events = NULL;

static void fail(const char* what) {
    fprintf(stderr, "FAIL: %s\n", what);
    ++failures;
}

/* The handle functions in the order of their ordinals, 30 upwards. */
enum { handleCount = 21, firstOrdinal = 30 };
static const char* const handleNames[handleCount] = {
    "quillon_default_options", "quillon_open",          "quillon_close",
    "quillon_last_error",      "quillon_begin_structure", "quillon_end_structure",
    "quillon_box",             "quillon_box_wh",        "quillon_square",
    "quillon_boundary",        "quillon_path",          "quillon_circle",
    "quillon_sector",          "quillon_arc",           "quillon_sref",
    "quillon_aref",            "quillon_text",          "quillon_node",
    "quillon_property",        "quillon_polygon",       "quillon_set_polygon_limit"};

/* The flat functions of struct FlatApi, with their ordinals. */
enum { flatCount = 9 };
static const char* const flatNames[flatCount] = {
    "GDS_BeginLib",  "GDS_EndLib",   "GDS_BeginStructure", "GDS_EndStructure",
    "GDS_SetTimestamp", "GDS_SetStrict", "GDS_Property",    "GDS_Polygon",
    "GDS_SetPolygonLimit"};
static const int flatOrdinals[flatCount] = {1, 2, 3, 4, 18, 19, 20, 21, 22};

/* The functions of struct ShapeApi, with their ordinals. */
enum { shapeCount = 4 };
static const char* const shapeNames[shapeCount] = {
    "quillon_ellipse", "quillon_path_ex", "quillon_text_polygons", "quillon_arc_path"};
static const int shapeOrdinals[shapeCount] = {53, 54, 55, 60};

/* The exports of struct Api and struct FlatApi by ordinal, for
   libquillon.so (see dll_loading.h). */
#if !defined(_WIN32)
static const char* nameOfOrdinal(int ordinal) {
    int i;
    if (ordinal >= firstOrdinal && ordinal < firstOrdinal + handleCount)
        return handleNames[ordinal - firstOrdinal];
    for (i = 0; i < flatCount; ++i)
        if (flatOrdinals[i] == ordinal) return flatNames[i];
    for (i = 0; i < shapeCount; ++i)
        if (shapeOrdinals[i] == ordinal) return shapeNames[i];
    return NULL;
}
#endif

#include "dll_loading.h"
/* Fills the table, in the order of struct Api (that of the ordinals). */
static void loadApi(Library library, int useName, struct Api* api) {
    AnyFunction table[handleCount];
    int i;
    for (i = 0; i < handleCount; ++i)
        table[i] = resolve(library, handleNames[i], firstOrdinal + i, useName);
    _Static_assert(sizeof(struct Api) == sizeof table, "struct Api holds every handle function");
    memcpy(api, table, sizeof table);
}

static void loadFlatApi(Library library, struct FlatApi* api) {
    AnyFunction table[flatCount];
    int i;
    for (i = 0; i < flatCount; ++i)
        table[i] = resolve(library, flatNames[i], flatOrdinals[i], i % 2);
    _Static_assert(sizeof(struct FlatApi) == sizeof table, "struct FlatApi holds its functions");
    memcpy(api, table, sizeof table);
}

static void loadShapeApi(Library library, struct ShapeApi* api) {
    AnyFunction table[shapeCount];
    int i;
    for (i = 0; i < shapeCount; ++i)
        table[i] = resolve(library, shapeNames[i], shapeOrdinals[i], i % 2);
    _Static_assert(sizeof(struct ShapeApi) == sizeof table, "struct ShapeApi holds them all");
    memcpy(api, table, sizeof table);
}

static void QUILLON_CALL onError(void* userData, int status, const char* message) {
    fprintf(events, "callback %s %d \"%s\"\n", (const char*)userData, status, message);
}

static void expect(const char* call, int status, int wanted) {
    fprintf(events, "return %s %d\n", call, status);
    if (status != wanted) {
        fprintf(stderr, "FAIL: %s returned %d, not %d\n", call, status, wanted);
        ++failures;
    }
}

/* One structure with every element kind on w, k varying the figures. */
static void writeCell(const struct Api* api, QuillonWriter* w, const char* name, int k) {
    int xs[8], ys[8], i;
    for (i = 0; i < 8; ++i) {
        xs[i] = k * 1000 + i * 125 - (i % 2) * 40;
        ys[i] = -k * 300 + i * i * 17;
    }
    expect("begin_structure", api->beginStructure(w, name), QUILLON_OK);
    expect("property", api->property(w, 1, "net A"), QUILLON_OK);
    expect("property", api->property(w, 32767, "last attribute"), QUILLON_OK);
    expect("box", api->box(w, k, -k, k + 500, 250 + k, k % 64, k % 3, 0, 0), QUILLON_OK);
    expect("box_wh", api->boxWH(w, -k * 10, 7, 300, 40 + k, 2, 1, 0, k), QUILLON_OK);
    expect("square", api->square(w, k * 3, k * 5, 77 + k, 3, 0, 0, -k), QUILLON_OK);
    expect("boundary", api->boundary(w, xs, ys, 3 + k % 6, 4, k % 5, 0, 0), QUILLON_OK);
    expect("property", api->property(w, 7, "path"), QUILLON_OK);
    expect("path", api->path(w, xs, ys, 2 + k % 7, 10 + k, 5, 0, k % 3, 0, 0), QUILLON_OK);
    expect("arc", api->arc(w, k * 11, -k * 13, 1000 + k, 10.0 + k, 80.0 + 2.5 * k, 8 + k % 20,
                           20, 6, 0, 1, 0, 0), QUILLON_OK);
    expect("circle", api->circle(w, -k * 7, k * 9, 2000 + 13 * k, 8 + k % 40, 7, 0, 0, 0),
           QUILLON_OK);
    expect("sector", api->sector(w, 500, -500, 3000 - k, -30.0 + k, 45.5 + k * 1.25, 6 + k % 30,
                                 8, 1, 0, 0), QUILLON_OK);
    if (strcmp(name, "C0") != 0) { /* C0 is the referenced cell */
        expect("sref", api->sref(w, "C0", k * 100, -k * 100, (k % 2) * 0x8000, 1.0 + k * 0.125,
                                 k * 15.0, 0, 0), QUILLON_OK);
        expect("aref", api->aref(w, "C0", xs, ys, 1 + k % 4, 2 + k % 3, 0, 0.5 * (1 + k % 3),
                                 90.0 * (k % 4), 0, 0), QUILLON_OK);
    }
    expect("text", api->text(w, k, k * 2, "Quillon", 9, k % 256, (k % 3) | 0x04, k % 3, 5 * k,
                             0, 2.0, 90.0 * (k % 4), 0, 0), QUILLON_OK);
    expect("node", api->node(w, xs, ys, 1 + k % 8, 10, k % 7, 0, 0), QUILLON_OK);
    expect("end_structure", api->endStructure(w), QUILLON_OK);
}

/* A simple polygon of polygonVertices vertices from integers alone: a
   ragged top edge of slanted steps left to right, then the two bottom
   corners; reversed, the other orientation. */
enum { polygonVertices = 10000 };
static int polygonXs[polygonVertices], polygonYs[polygonVertices];

static void makePolygon(int reversed) {
    int i;
    for (i = 0; i < polygonVertices - 2; ++i) {
        polygonXs[i] = i * 10;
        polygonYs[i] = 1000 + (i * i) % 997;
    }
    polygonXs[polygonVertices - 2] = (polygonVertices - 3) * 10;
    polygonYs[polygonVertices - 2] = 0;
    polygonXs[polygonVertices - 1] = 0;
    polygonYs[polygonVertices - 1] = 0;
    if (reversed) {
        for (i = 0; i < polygonVertices / 2; ++i) {
            int j = polygonVertices - 1 - i, t;
            t = polygonXs[i], polygonXs[i] = polygonXs[j], polygonXs[j] = t;
            t = polygonYs[i], polygonYs[i] = polygonYs[j], polygonYs[j] = t;
        }
    }
}

/* The gzip file of the handle API: properties on a polygon cut into pieces
   of the default 199 vertices and, under the largest limit, into two. */
static void writeCompressed(const struct Api* api, QuillonOptions* options) {
    int status = 1;
    QuillonWriter* c;
    options->libraryName = NULL;
    options->userData = (void*)"c";
    c = api->open("handle_c.gds.gz", 0.001, 1e-9, options, &status);
    expect("open c", status, QUILLON_OK);
    if (c == NULL) return;
    makePolygon(0);
    expect("begin_structure", api->beginStructure(c, "RAGGED"), QUILLON_OK);
    expect("property", api->property(c, 1, "VDD"), QUILLON_OK);
    expect("property", api->property(c, 300, "ragged polygon, 10000 vertices"), QUILLON_OK);
    expect("polygon", api->polygon(c, polygonXs, polygonYs, polygonVertices, 1, 0, 0, 0),
           QUILLON_OK);
    expect("set_polygon_limit", api->setPolygonLimit(c, 4094), QUILLON_OK);
    expect("set_polygon_limit 4095", api->setPolygonLimit(c, 4095), QUILLON_ERROR_RANGE);
    expect("property", api->property(c, 2, "large pieces"), QUILLON_OK);
    expect("polygon", api->polygon(c, polygonXs, polygonYs, polygonVertices, 2, 5, 0, 0),
           QUILLON_OK);
    expect("end_structure", api->endStructure(c), QUILLON_OK);
    expect("close c", api->close(c), QUILLON_OK);
}

/* Ellipses, rings and sectors by tolerance (a ring of more points than the
   polygon limit is fractured), bent and extended paths, an arc path and
   text polygons at several angles, each figure varied by k. */
static void writeShapes(const struct Api* api, const struct ShapeApi* shapes,
                        QuillonOptions* options, const char* fileName, int oasis) {
    static const int bendXs[5] = {0, 40000, 40000, 90000, 120000};
    static const int bendYs[5] = {0, 0, 30000, 45000, 0};
    int status = 1, k;
    QuillonWriter* s;
    const int compression = options->compression;
    options->libraryName = "SHAPES";
    options->userData = (void*)"s";
    if (oasis) options->compression = 0;
    s = api->open(fileName, 0.001, 1e-9, options, &status);
    options->compression = compression;
    expect("open s", status, QUILLON_OK);
    if (s == NULL) return;
    expect("begin_structure", api->beginStructure(s, "SHAPES"), QUILLON_OK);
    for (k = 0; k < 6; ++k) {
        expect("ellipse", shapes->ellipse(s, k * 1001, -k * 777, 20000 + 313 * k, 9000 + 97 * k,
                                          0, 0, 7.5 * k, 7.5 * k + 360.0, 0.25 + k, 1, 0, 0, 0),
               QUILLON_OK);
        expect("ring", shapes->ellipse(s, 3, 5, 30000 + k, 30000 + k, 29000 - k, 29000 - k, 0.0,
                                       360.0, 0.1 + 0.05 * k, 2, k, 0, 0), QUILLON_OK);
        expect("ring sector", shapes->ellipse(s, 0, 0, 15000, 12000, 14000 - k * 100, 11000,
                                              -17.0 * k, 123.4 + k, 0.5, 3, 0, 0, 0),
               QUILLON_OK);
        expect("sector", shapes->ellipse(s, -k, k, 5000 + k, 5000 + k, 0, 0, 90.0,
                                         -33.3 * k - 1, 0.3, 4, 0, 0, 0), QUILLON_OK);
        expect("path_ex", shapes->pathEx(s, bendXs, bendYs, 5, 1000 + k, 4, 300 * k, 50, 8000,
                                         0.2 + 0.1 * k, 5, 0, 0, 0),
               oasis && k % 2 ? QUILLON_ERROR_RANGE : QUILLON_OK);  /* odd width */
        expect("arc_path", shapes->arcPath(s, k, -k, 25000 + k, -45.0 + k, 200.5, 0.4, 700,
                                           k % 2 ? 4 : 1, k % 2 ? 100 : 0, k % 2 ? 200 : 0, 6,
                                           0, 0, 0), QUILLON_OK);
        expect("text_polygons", shapes->textPolygons(s, "Quillon ring R=10um\n~{|}@$%^&*",
                                                     k * 5000, 70000, 700 + 11 * k,
                                                     (k % 3) | ((k % 3) << 2), 12.5 * k + 3.0,
                                                     9, k), QUILLON_OK);
    }
    /* Refused: segments too short for the bend radius. */
    expect("path_ex too short", shapes->pathEx(s, bendXs, bendYs, 5, 100, 0, 0, 0, 60000, 1.0,
                                               5, 0, 0, 0), QUILLON_ERROR_ARGUMENT);
    fprintf(events, "last_error s \"%s\"\n", api->lastError(s));
    expect("end_structure", api->endStructure(s), QUILLON_OK);
    expect("close s", api->close(s), QUILLON_OK);
}

/* The same through the flat extensions, the polygon the other way round. */
static void writeFlatCompressed(const struct FlatApi* api) {
    makePolygon(1);
    expect("GDS_SetStrict", api->setStrict(1), 0);
    expect("GDS_SetTimestamp", api->setTimestamp(2026, 12, 8, 21, 0, 0), 1);
    expect("GDS_BeginLib", api->beginLib("flat_c.gds.gz", 0.001, 1e-9), 0);
    expect("GDS_BeginStructure", api->beginStructure("RAGGED"), 0);
    expect("GDS_Property", api->property(1, "VSS"), 0);
    expect("GDS_Polygon", api->polygon(polygonXs, polygonYs, polygonVertices, 1, 0, 0, 0), 0);
    expect("GDS_SetPolygonLimit", api->setPolygonLimit(4094), 0);
    expect("GDS_Property", api->property(32767, "large pieces"), 0);
    expect("GDS_Polygon", api->polygon(polygonXs, polygonYs, polygonVertices, 2, 5, 0, 0), 0);
    expect("GDS_EndStructure", api->endStructure(), 0);
    expect("GDS_EndLib", api->endLib(), 0);
    expect("GDS_SetStrict", api->setStrict(0), 1);
}

int main(int argc, char** argv) {
    Library library;
    struct Api byNames, byOrdinals;
    struct FlatApi flat;
    struct ShapeApi shapes;
    QuillonOptions options;
    QuillonWriter* a;
    QuillonWriter* b;
    int status = 1, k;
    static const int stamp[6] = {2026, 12, 8, 17, 30, 5};
    char name[16];

    if (argc != 2) {
        fprintf(stderr, "usage: %s LIBRARY\n", argv[0]);
        return 2;
    }
    library = openLibrary(argv[1]);
    if (library == NULL) {
        fprintf(stderr, "FAIL: cannot load %s\n", argv[1]);
        return 1;
    }
    loadApi(library, 1, &byNames);
    loadApi(library, 0, &byOrdinals);
    loadFlatApi(library, &flat);
    loadShapeApi(library, &shapes);
    if (failures != 0) return 1;
    events = fopen("handle_events.txt", "wb");
    if (events == NULL) return 1;

    byNames.defaultOptions(&options);
    if (options.size != sizeof options || options.strict != 1) fail("quillon_default_options");
    options.libraryName = "HANDLES_A";
    memcpy(options.timestamp, stamp, sizeof stamp);
    options.onError = onError;
    options.userData = (void*)"a";
    a = byNames.open("handle_a.gds", 0.001, 1e-9, &options, &status);
    expect("open a", status, QUILLON_OK);
    options.libraryName = "HANDLES_B";
    options.timestamp[0] = 1999;
    options.userData = (void*)"b";
    b = byOrdinals.open("handle_b.gds", 0.25, 2.5e-10, &options, &status);
    expect("open b", status, QUILLON_OK);
    if (a == NULL || b == NULL) return 1;

    /* Interleaved: each call to one writer is followed by one to the other,
       through the other set of pointers. */
    for (k = 0; k < 12; ++k) {
        snprintf(name, sizeof name, "C%d", k);
        writeCell(k % 2 ? &byOrdinals : &byNames, a, name, k);
        writeCell(k % 2 ? &byNames : &byOrdinals, b, name, k + 1);
    }

    /* Strict: layer 70000 does not fit 16 bits; refused, nothing written. */
    expect("begin_structure", byNames.beginStructure(a, "REFUSED"), QUILLON_OK);
    expect("box 70000", byNames.box(a, 0, 0, 10, 10, 70000, 0, 0, 0), QUILLON_ERROR_RANGE);
    fprintf(events, "last_error a \"%s\"\n", byNames.lastError(a));
    if (strcmp(byNames.lastError(a), "Error: Value does not fit its GDSII field.") != 0)
        fail("quillon_last_error after the strict refusal");
    if (strcmp(byOrdinals.lastError(b), "") != 0) fail("b reports an error it never had");
    expect("end_structure", byNames.endStructure(a), QUILLON_OK);

    expect("close a", byNames.close(a), QUILLON_OK);
    expect("close b", byOrdinals.close(b), QUILLON_OK);

    writeCompressed(&byOrdinals, &options);
    writeFlatCompressed(&flat);
    writeShapes(&byNames, &shapes, &options, "handle_shapes.gds", 0);
    writeShapes(&byNames, &shapes, &options, "handle_shapes.oas", 1);
    fclose(events);
    if (failures != 0) return 1;
    printf("handle_host: two writers interleaved, two gzip files, the shapes, every check "
           "passed\n");
    return 0;
}
