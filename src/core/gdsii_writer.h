// One writer: one GDSII file at a time, with its export state, its error
// reporting and its byte sink. The flat functions drive the process's
// default writer; each handle of the handle API is a writer of its own.
// Writers share nothing mutable, so any number may be used at once, each by
// one thread at a time.
//
// Each operation first makes its checks, reporting each failure through
// report(), and then writes its records field by field through out. A report
// goes to the installed handler or callback and the call carries on, or, in
// strict mode, the call ends there with nothing written; with neither a
// handler nor a callback the flat API throws GDSIIException.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "quillon.h"
#include "byte_sink.h"
#include "records.h"
#include "gdsii_file.h"
#include "inlining.h"
#include "messages.h"
#include "platform.h"
#include "elements/curves.h"
#include "elements/polygon_fracture.h"
#include "include/structure_digest.h"
#include "oasis/writer.h"

namespace quillon {

namespace include {
struct IncludePlan;
}

using Timestamp = std::array<std::uint8_t, 24>;

class GDSIIWriter {
public:
    GDSIIWriter();
    virtual ~GDSIIWriter();
    GDSIIWriter(const GDSIIWriter&) = delete;
    GDSIIWriter& operator=(const GDSIIWriter&) = delete;

    // --- Error reporting --------------------------------------------------
    ErrorHandler setErrorHandler(ErrorHandler handler);
    // The handle API's callback; a writer with a callback never throws.
    void setCallback(QuillonErrorCallback callback, void* userData);
    // Whether a writer without handler or callback throws (the flat API) or
    // only records the status (handles).
    void setThrows(bool throws) { throwsWithoutHandler = throws; }
    // Strict mode: a call whose checks fail writes nothing and changes
    // nothing, and values that do not fit their GDSII field are refused.
    void setStrict(bool on) {
        strict = on;
        trackReferences = strict || handleRules;
    }
    bool isStrict() const { return strict; }
    // Compact records: ELFLAGS 0, PLEX 0, and the identity's STRANS, MAG and
    // ANGLE (MAG 1 and ANGLE 0 beside a STRANS) are left out. Off for the
    // flat API, whose records stay as they are.
    void setCompact(bool on) { compact = on; }
    // Handles: point counts of paths are taken whole, not as 16 bits, and
    // references to undefined structures are reported at the end.
    void setHandleRules(bool on) {
        handleRules = on;
        trackReferences = strict || handleRules;
    }
    // The format of the libraries begun from now on: QUILLON_FORMAT_AUTO
    // (OASIS for a name ending in ".oas", in any case), _GDSII or _OASIS.
    // Other values are reported ("Error: Format must lie in 0 to 2.") and
    // change nothing.
    bool setFormat(int value);
    bool writingOasis() const { return oasis != nullptr; }
    // LIBNAME of the next library instead of its file name (NULL: the name).
    bool setLibraryName(const char* name);
    // Compression of the files opened from now on: -1 by the name (".gz"
    // means gzip at level 1; the default), 0 never, 1 to 9 always at that
    // deflate level. False, with the setting unchanged, for other values.
    // Other values are reported ("Error: Compression must lie in -1 to 9.").
    bool setCompression(int level) {
        if (file.setCompression(level)) return true;
        report(messages::compressionRange);
        return false;
    }
    // Reports message for a refusal found outside the writer's own
    // operations (the handle API's argument checks).
    QUILLON_COLD void reportRefusal(const char* message) { report(message); }

    // Each entry point starts a call with beginCall() and answers status():
    // 0, or the status of the most severe error the call reported (data
    // loss above refusals above warnings; the first of equal weight).
    void beginCall() { callStatus = 0; }
    int status() const { return callStatus; }
    // The text of the last error reported ("" if none yet).
    const char* lastError() const { return lastMessage; }
    // True while a report is being handled: a call made then from inside
    // the handler is refused with QUILLON_ERROR_REENTRANT, so that it can
    // neither recurse into the handler nor mix its records into the call
    // still running.
    bool inErrorHandler() const { return handlingReport; }
    QUILLON_COLD int refuseReentrantCall();

    // Marks the writer as handling a report for as long as it lives, also
    // when the code it guards leaves by an exception: the error handler and
    // the include's callbacks run under it.
    class ReportGuard {
    public:
        explicit ReportGuard(bool& flag) : flag(flag) { flag = true; }
        ~ReportGuard() { flag = false; }
        ReportGuard(const ReportGuard&) = delete;
        ReportGuard& operator=(const ReportGuard&) = delete;

    private:
        bool& flag;
    };

    // Library and structure framing.
    void beginLib(const char* fileName, double dbUnitInUserUnits, double dbUnitInMeters);
    void endLib();
    void beginStructure(const char* name);
    void endStructure();
    // Copies the structures of another GDSII file into the library, as
    // quillon_include in quillon.h describes.
    void include(const char* fileName, const QuillonIncludeOptions& options);

    // Elements.
    // The box from (x, y) to (x + width, y + height), the sums in 32 bits.
    void writeBoxWH(std::int32_t x, std::int32_t y, std::int32_t width, std::int32_t height,
                    std::int32_t layer, std::int32_t boxType, std::int32_t elFlags,
                    std::int32_t plex);
    void writeBox(std::int32_t x1, std::int32_t y1, std::int32_t x2, std::int32_t y2,
                  std::int32_t layer, std::int32_t boxType, std::int32_t elFlags,
                  std::int32_t plex);
    void writeBoundary(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                       std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                       std::int32_t plex);
    std::int32_t writePath(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                           std::int32_t width, std::int32_t layer, std::int32_t dataType,
                           std::int32_t pathType, std::int32_t elFlags, std::int32_t plex);
    void writeCircle(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                     std::int32_t count, std::int32_t layer, std::int32_t dataType,
                     std::int32_t elFlags, std::int32_t plex);
    void writeSector(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                     double startAngle, double endAngle, std::int32_t count,
                     std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                     std::int32_t plex);
    void writeArc(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                  double startAngle, double endAngle, std::int32_t count, std::int32_t width,
                  std::int32_t layer, std::int32_t dataType, std::int32_t pathType,
                  std::int32_t elFlags, std::int32_t plex);
    void writeSref(const char* structName, std::int32_t x, std::int32_t y, std::int32_t strans,
                   double mag, double angle, std::int32_t elFlags, std::int32_t plex);
    void writeAref(const char* structName, const std::int32_t* xs, const std::int32_t* ys,
                   std::int32_t columns, std::int32_t rows, std::int32_t strans, double mag,
                   double angle, std::int32_t elFlags, std::int32_t plex);
    void writeText(std::int32_t x, std::int32_t y, const char* text, std::int32_t layer,
                   std::int32_t textType, std::int32_t presentation, std::int32_t pathType,
                   std::int32_t width, std::int32_t strans, double mag, double angle,
                   std::int32_t elFlags, std::int32_t plex);
    // A polygon of any vertex count: one BOUNDARY when it has at most the
    // polygon limit's vertices, otherwise BOUNDARY pieces of at most that
    // many whose union is its region, each with the queued properties.
    void writePolygon(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                      std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                      std::int32_t plex);
    // A region of outlines and holes (even-odd: ring r is the ringCounts[r]
    // vertices after ring r - 1's), written as pieces without holes as
    // writePolygon writes them.
    void writePolygonRings(const std::int32_t* xs, const std::int32_t* ys,
                           const std::int32_t* ringCounts, std::int32_t ringTotal,
                           std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                           std::int32_t plex);
    // The most vertices of one BOUNDARY that writePolygon writes: 8 to
    // 4094, 199 by default. False, with the limit unchanged, otherwise.
    bool setPolygonLimit(std::int32_t limit);
    void writeNode(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                   std::int32_t layer, std::int32_t nodeType, std::int32_t elFlags,
                   std::int32_t plex);

    // Shapes by tolerance (curves.cpp): an ellipse, elliptic ring or a
    // sector of either, from startAngle to endAngle (degrees, parametric
    // angle), innerRadiusX = innerRadiusY = 0 for a filled one, with chords
    // within tolerance of the curve; written through writePolygon (a full
    // ring through writePolygonRings).
    void writeEllipse(std::int32_t centerX, std::int32_t centerY, std::int32_t radiusX,
                      std::int32_t radiusY, std::int32_t innerRadiusX, std::int32_t innerRadiusY,
                      double startAngle, double endAngle, double tolerance, std::int32_t layer,
                      std::int32_t dataType, std::int32_t elFlags, std::int32_t plex);
    // A circular arc as a path of any length, by tolerance, from startAngle
    // to endAngle exactly.
    void writeArcPath(std::int32_t centerX, std::int32_t centerY, std::int32_t radius,
                      double startAngle, double endAngle, double tolerance, std::int32_t width,
                      std::int32_t pathType, std::int32_t beginExtension,
                      std::int32_t endExtension, std::int32_t layer, std::int32_t dataType,
                      std::int32_t elFlags, std::int32_t plex);
    // A path of any length with explicit extensions (pathType 4) and, when
    // bendRadius > 0, every corner replaced by a tangent arc (path.cpp).
    void writePathEx(const std::int32_t* xs, const std::int32_t* ys, std::int32_t count,
                     std::int32_t width, std::int32_t pathType, std::int32_t beginExtension,
                     std::int32_t endExtension, std::int32_t bendRadius, double tolerance,
                     std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                     std::int32_t plex);
    // Text drawn as BOUNDARY polygons in the library's font
    // (text_polygons.cpp).
    void writeTextPolygons(const char* text, std::int32_t x, std::int32_t y, std::int32_t height,
                           std::int32_t anchor, double angle, std::int32_t layer,
                           std::int32_t dataType);

    // Properties (PROPATTR, PROPVALUE) for the next element: queued here and
    // written by the next element call before its ENDEL (by each of its
    // elements, when a long path is split), then forgotten, also when that
    // call writes nothing. A structure or library end drops them, reported.
    void addProperty(std::int32_t attribute, const char* value);

    // Time stamps: the fixed time set here, or the local clock.
    bool setTimestamp(int year, int month, int day, int hour, int minute, int second);
    Timestamp makeTimestamp() const;

    // Flushes and closes a file that the host never finished, so that what
    // it wrote is kept when the library is unloaded.
    void closeOnUnload();

    // The export state, for tests and the handle API.
    const GDSIIFile& state() const { return file; }

private:
    // Reports message; answers whether the call carries on (a handler or
    // callback returned, or there is none to throw to, and the writer is
    // not strict). Without a handler the flat API throws here.
    QUILLON_COLD bool report(const char* message);
    // The same, with a longer text than message for lastError().
    QUILLON_COLD bool report(const char* message, const char* lastErrorText);
    // In strict mode, reports message and answers false unless fits; in the
    // flat API's own mode every value passes unchecked.
    bool strictFits(bool fits, const char* message) {
        return !strict || fits || report(message);
    }
    // The 16-bit fields that hold non-negative numbers or flag words
    // (layers, types, ELFLAGS, STRANS, PRESENTATION): 0 to 65535 in strict
    // mode.
    bool strictFits16(std::int32_t value) {
        return strictFits(value >= 0 && value <= 0xFFFF, messages::valueOutOfRange);
    }
    // The 16-bit fields that hold numbers (layers, data, text, box and node
    // types, property attributes): 0 to 32767 in strict mode, since gdspy
    // and libgdsii read INT2 as signed and turn 32768 into -32768.
    bool strictNumber16(std::int32_t value) {
        return strictFits(value >= 0 && value <= 0x7FFF, messages::valueOutOfRange);
    }
    // A width: not negative in strict mode (gdspy cannot read a text's
    // negative width; KLayout and gdspy drop a path width's sign).
    bool strictWidth(std::int32_t width) {
        return strictFits(width >= 0, messages::valueOutOfRange);
    }
    // STRANS, MAG and ANGLE of a reference (text false) or a text, in
    // strict mode: see "Strict mode" in quillon.h.
    bool strictTransformation(std::int32_t strans, double mag, double angle, bool text);
    bool strictFinite(double value);
    // A point count whose slot carries nothing above its 16 bits.
    bool strictCount(std::int32_t count) {
        return strictFits(count == static_cast<std::int16_t>(count), messages::valueOutOfRange);
    }

    // Reports "Error: Structure is not opened." unless a structure is open,
    // and answers whether the element may be written: after the report the
    // flat API carries on as specified, except where the file holds no
    // structure although the flag says one is open (a refused duplicate
    // name, for one): an element there would land outside any structure
    // without the host ever hearing of it, so nothing is written.
    bool checkStructureOpen() {
        if (file.structureInFile()) return true;  // the usual case, kept inline
        return checkStructureOpenSlow();
    }
    QUILLON_COLD bool checkStructureOpenSlow();
    // Reports "Error: Point array is NULL." and answers false when either
    // array is missing.
    bool checkPointArrays(const std::int32_t* xs, const std::int32_t* ys);
    void writeRings(const std::int32_t* xs, const std::int32_t* ys,
                    const std::int32_t* ringCounts, std::int32_t ringTotal, std::int32_t layer,
                    std::int32_t dataType, std::int32_t elFlags, std::int32_t plex);
    // Reports and answers false for a NULL, empty or over-long structure
    // name; otherwise sets length to the name's length.
    bool checkStructureName(const char* name, std::size_t& length);
    // The curves' common checks; false when the call must end.
    bool checkCurve(std::int32_t n);
    // The checks of the paths with explicit extensions: path type 0, 1, 2
    // or 4, extensions only with type 4, 16-bit fields in range.
    bool checkPathOptions(std::int32_t pathType, std::int32_t beginExtension,
                          std::int32_t endExtension, std::int32_t layer, std::int32_t dataType,
                          std::int32_t elFlags);
    // The PATH elements of a polyline of n points (any n >= 2), split as
    // path.cpp describes. With pathType 4 the pieces carry beginExtension
    // and endExtension at the polyline's own ends (0 at split ends).
    void writePathPieces(const std::int32_t* xs, const std::int32_t* ys, std::int32_t n,
                         std::int32_t width, std::int32_t layer, std::int32_t dataType,
                         std::int32_t pathType, std::int32_t beginExtension,
                         std::int32_t endExtension, std::int32_t elFlags, std::int32_t plex);
    // One OASIS PATH of all n points (path.cpp), with its extensions by
    // path type, or the flush PATH and end CIRCLEs of a round path.
    void writeOasisPath(const std::int32_t* xs, const std::int32_t* ys, std::int32_t n,
                        std::int32_t width, std::int32_t layer, std::int32_t dataType,
                        std::int32_t pathType, std::int32_t beginExtension,
                        std::int32_t endExtension);
    // One BOUNDARY of count vertices (closing point added), with the queued
    // properties: a polygon as given, a fractured polygon's piece, a polygon
    // of printed text (polygon.cpp).
    void writeBoundaryPiece(const std::int32_t* xs, const std::int32_t* ys, std::size_t count,
                            std::int32_t layer, std::int32_t dataType, std::int32_t elFlags,
                            std::int32_t plex);

    // Hands the fault's place and detail to the include's callback and
    // reports message; answers false.
    QUILLON_COLD bool refuseInclude(const QuillonIncludeOptions& options, const char* message,
                                    long long offset, const std::string& detail);
    // A kept include's names join the library's (and its references the
    // library's references), then onStructure hears of each.
    void admitIncluded(const include::IncludePlan& plan, const QuillonIncludeOptions& options);
    // The queued properties and ENDEL: the end of every element.
    void endElementWithProperties() {
        if (properties.empty()) {
            endElement(out);
            return;
        }
        writePropertiesAndEnd();
    }
    QUILLON_COLD void writePropertiesAndEnd();
    void finishReference(std::uint8_t* p);
    // Records the structure a reference names, for the check at the end.
    void noteReference(const char* name, std::size_t length) {
        if (!trackReferences) return;
        if (length == lastReference.size() &&
            std::memcmp(name, lastReference.data(), length) == 0)
            return;
        noteNewReference(name, length);
    }
    void noteNewReference(const char* name, std::size_t length);
    // Whether a reference named a structure that the library never defined;
    // forgets the references, keeping the text of the report to come.
    bool findUndefinedReferences();
    void forgetReferences() {
        referenced.clear();
        referenceOrder.clear();
        lastReference.clear();
    }
    // Reports the structures findUndefinedReferences found.
    QUILLON_COLD void reportUndefinedReferences();
    // Reports and forgets properties that no element took.
    QUILLON_COLD void dropUnusedProperties();
    // Forgets the queued properties when an element call returns, however
    // it returns.
    class ElementCall {
    public:
        explicit ElementCall(GDSIIWriter& writer) : writer(writer) {}
        ~ElementCall() {
            if (!writer.properties.empty()) writer.properties.clear();
        }
        ElementCall(const ElementCall&) = delete;
        ElementCall& operator=(const ElementCall&) = delete;

    private:
        GDSIIWriter& writer;
    };

    using Property = ElementProperty;
    std::vector<Property> properties;
    // The OASIS form of the open library, or none while it is GDSII.
    std::unique_ptr<oasis::Writer> oasis;
    int format = QUILLON_FORMAT_GDSII;

    GDSIIFile file;

public:
    ByteSink out;

private:
    ErrorHandler handler = nullptr;
    QuillonErrorCallback callback = nullptr;
    void* callbackData = nullptr;
    bool throwsWithoutHandler = true;
    bool strict = false;
    bool compact = false;
    bool handleRules = false;
    bool trackReferences = false;  // strict || handleRules
    bool handlingReport = false;
    int callStatus = 0;
    const char* lastMessage = "";
    std::string lastMessageText;  // a last error longer than its message

    // Every structure name a reference gave, in the order first given, for
    // the check at the end of the library.
    std::deque<std::string> referenceOrder;
    std::set<std::string_view, std::less<>> referenced;
    std::string lastReference;
    // The structures that includes with the skip-identical clash policy
    // brought into the current library, by name, with their digests.
    std::unordered_map<std::string, include::StructureDigest> includedDigests;
    std::string libraryName;
    bool libraryNameSet = false;
    double libraryMeters = 0;  // the open library's database unit in metres

    std::int32_t polygonLimit = 199;
    FracturedPolygon fractured;  // reused from one polygon to the next
    CurvePointList curvePoints;  // the points of a tolerance-driven shape
    CurvePointList bentPoints;   // a bent path's polyline

    bool clockFixed = false;
    ClockReading fixedTime{};
};

// A point count as the 16-bit record fields read it: the low 16 bits of the
// argument, signed.
inline std::int32_t pointCount(std::int32_t count) { return static_cast<std::int16_t>(count); }

}  // namespace quillon
