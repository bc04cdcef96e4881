// The flat exported functions: each forwards its arguments unchanged to one
// operation of the process's default GDSIIWriter and catches nothing, so
// that a GDSIIException reaches the host. Each returns the call's status (0,
// or the negative code of its first error); the specified interface gives
// the value no meaning, except GDS_Path's count.
#include "exports.h"

#include "gdsii_writer.h"

using quillon::GDSIIWriter;
using quillon::runCall;

namespace {

GDSIIWriter& writer() { return *quillon::theWriter; }

}  // namespace

QUILLON_API(ErrorHandler) SetErrorHandle(ErrorHandler handler) {
    return writer().setErrorHandler(handler);
}

QUILLON_API(int) GDS_BeginLib(const char* fileName, double dbUnitInUserUnits,
                              double dbUnitInMeters) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.beginLib(fileName, dbUnitInUserUnits, dbUnitInMeters);
    });
}

QUILLON_API(int) GDS_EndLib(void) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.endLib();
    });
}

QUILLON_API(int) GDS_BeginStructure(const char* name) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.beginStructure(name);
    });
}

QUILLON_API(int) GDS_EndStructure(void) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.endStructure();
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Path(const int* xs, const int* ys, int count, int width, int layer,
                          int dataType, int pathType, int elFlags, int plex) {
    // The count as read, also for a call refused from inside the handler.
    GDSIIWriter& w = writer();
    std::int32_t read = quillon::pointCount(count);
    runCall(w, [&] {
        read = w.writePath(xs, ys, count, width, layer, dataType, pathType, elFlags, plex);
    });
    return read;
}

QUILLON_API(int) GDS_Arc(int centerX, int centerY, int radius, double startAngle,
                         double endAngle, int count, int width, int layer, int dataType,
                         int pathType, int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeArc(centerX, centerY, radius, startAngle, endAngle, count, width, layer,
                              dataType, pathType, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Boundary(const int* xs, const int* ys, int count, int layer, int dataType,
                              int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeBoundary(xs, ys, count, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) GDS_Polygon(const int* xs, const int* ys, int count, int layer, int dataType,
                             int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] { w.writePolygon(xs, ys, count, layer, dataType, elFlags, plex); });
}

QUILLON_API(int) GDS_SetPolygonLimit(int limit) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] { w.setPolygonLimit(limit); });
}

QUILLON_API(int) GDS_Circle(int centerX, int centerY, int radius, int count, int layer,
                            int dataType, int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeCircle(centerX, centerY, radius, count, layer, dataType, elFlags, plex);
    });
}

QUILLON_API(int) GDS_Sector(int centerX, int centerY, int radius, double startAngle,
                            double endAngle, int count, int layer, int dataType, int elFlags,
                            int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeSector(centerX, centerY, radius, startAngle, endAngle, count, layer, dataType,
                                 elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Box(int x1, int y1, int x2, int y2, int layer, int boxType, int elFlags,
                         int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeBox(x1, y1, x2, y2, layer, boxType, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_BoxWH(int x, int y, int width, int height, int layer, int boxType,
                           int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeBoxWH(x, y, width, height, layer, boxType,
                              elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Square(int x, int y, int side, int layer, int boxType, int elFlags,
                            int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeBoxWH(x, y, side, side, layer, boxType, elFlags,
                              plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Sref(const char* structName, int x, int y, int strans, double mag,
                          double angle, int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeSref(structName, x, y, strans, mag, angle, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Aref(const char* structName, const int* xs, const int* ys, int columns,
                          int rows, int strans, double mag, double angle, int elFlags,
                          int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeAref(structName, xs, ys, columns, rows, strans, mag, angle, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Text(int x, int y, const char* text, int layer, int textType,
                          int presentation, int pathType, int width, int strans, double mag,
                          double angle, int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeText(x, y, text, layer, textType, presentation, pathType, width, strans, mag,
                               angle, elFlags, plex);
    });
}

QUILLON_INLINE_CALLEES
QUILLON_API(int) GDS_Node(const int* xs, const int* ys, int count, int layer, int nodeType,
                          int elFlags, int plex) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] {
        w.writeNode(xs, ys, count, layer, nodeType, elFlags, plex);
    });
}

QUILLON_API(int) GDS_SetTimestamp(int year, int month, int day, int hour, int minute,
                                  int second) {
    GDSIIWriter& w = writer();
    bool taken = false;
    runCall(w, [&] { taken = w.setTimestamp(year, month, day, hour, minute, second); });
    return taken ? 1 : 0;
}

QUILLON_API(int) GDS_Property(int attribute, const char* value) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] { w.addProperty(attribute, value); });
}

QUILLON_API(int) GDS_SetFormat(int format) {
    GDSIIWriter& w = writer();
    return runCall(w, [&] { w.setFormat(format); });
}

QUILLON_API(int) GDS_Include(const char* fileName) {
    GDSIIWriter& w = writer();
    const QuillonIncludeOptions all{sizeof(QuillonIncludeOptions), nullptr, nullptr, nullptr,
                                    nullptr, nullptr, QUILLON_CLASH_ERROR};
    return runCall(w, [&] { w.include(fileName, all); });
}

QUILLON_API(int) GDS_SetStrict(int on) {
    GDSIIWriter& w = writer();
    const int previous = w.isStrict() ? 1 : 0;
    w.setStrict(on != 0);
    return previous;
}
