// The exported functions: each forwards its arguments unchanged to one
// operation of the process's one GDSIIWriter and catches nothing, so that a
// GDSIIException reaches the host.
#include "exports.h"

#include "gdsii_writer.h"

using quillon::GDSIIWriter;

namespace {

GDSIIWriter& writer() { return *quillon::theWriter; }

}  // namespace

QUILLON_API(ErrorHandler) SetErrorHandle(ErrorHandler handler) {
    return writer().setErrorHandler(handler);
}

QUILLON_API(int) GDS_BeginLib(const char* fileName, double dbUnitInUserUnits,
                              double dbUnitInMeters) {
    writer().beginLib(fileName, dbUnitInUserUnits, dbUnitInMeters);
    return 0;
}

QUILLON_API(int) GDS_EndLib(void) {
    writer().endLib();
    return 0;
}

QUILLON_API(int) GDS_BeginStructure(const char* name) {
    writer().beginStructure(name);
    return 0;
}

QUILLON_API(int) GDS_EndStructure(void) {
    writer().endStructure();
    return 0;
}

QUILLON_API(int) GDS_Path(const int* xs, const int* ys, int count, int width, int layer,
                          int dataType, int pathType, int elFlags, int plex) {
    return writer().writePath(xs, ys, count, width, layer, dataType, pathType, elFlags, plex);
}

QUILLON_API(int) GDS_Arc(int centerX, int centerY, int radius, double startAngle,
                         double endAngle, int count, int width, int layer, int dataType,
                         int pathType, int elFlags, int plex) {
    writer().writeArc(centerX, centerY, radius, startAngle, endAngle, count, width, layer,
                      dataType, pathType, elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Boundary(const int* xs, const int* ys, int count, int layer, int dataType,
                              int elFlags, int plex) {
    writer().writeBoundary(xs, ys, count, layer, dataType, elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Circle(int centerX, int centerY, int radius, int count, int layer,
                            int dataType, int elFlags, int plex) {
    writer().writeCircle(centerX, centerY, radius, count, layer, dataType, elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Sector(int centerX, int centerY, int radius, double startAngle,
                            double endAngle, int count, int layer, int dataType, int elFlags,
                            int plex) {
    writer().writeSector(centerX, centerY, radius, startAngle, endAngle, count, layer, dataType,
                         elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Box(int x1, int y1, int x2, int y2, int layer, int boxType, int elFlags,
                         int plex) {
    writer().writeBox(x1, y1, x2, y2, layer, boxType, elFlags, plex);
    return 0;
}

// The corner sums wrap around like 32-bit two's-complement additions.
static int wrappingAdd(int a, int b) {
    return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}

QUILLON_API(int) GDS_BoxWH(int x, int y, int width, int height, int layer, int boxType,
                           int elFlags, int plex) {
    writer().writeBox(x, y, wrappingAdd(x, width), wrappingAdd(y, height), layer, boxType,
                      elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Square(int x, int y, int side, int layer, int boxType, int elFlags,
                            int plex) {
    writer().writeBox(x, y, wrappingAdd(x, side), wrappingAdd(y, side), layer, boxType, elFlags,
                      plex);
    return 0;
}

QUILLON_API(int) GDS_Sref(const char* structName, int x, int y, int strans, double mag,
                          double angle, int elFlags, int plex) {
    writer().writeSref(structName, x, y, strans, mag, angle, elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Aref(const char* structName, const int* xs, const int* ys, int columns,
                          int rows, int strans, double mag, double angle, int elFlags,
                          int plex) {
    writer().writeAref(structName, xs, ys, columns, rows, strans, mag, angle, elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Text(int x, int y, const char* text, int layer, int textType,
                          int presentation, int pathType, int width, int strans, double mag,
                          double angle, int elFlags, int plex) {
    writer().writeText(x, y, text, layer, textType, presentation, pathType, width, strans, mag,
                       angle, elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_Node(const int* xs, const int* ys, int count, int layer, int nodeType,
                          int elFlags, int plex) {
    writer().writeNode(xs, ys, count, layer, nodeType, elFlags, plex);
    return 0;
}

QUILLON_API(int) GDS_SetTimestamp(int year, int month, int day, int hour, int minute,
                                  int second) {
    return writer().setTimestamp(year, month, day, hour, minute, second) ? 1 : 0;
}
