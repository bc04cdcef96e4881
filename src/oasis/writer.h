// The OASIS form of a library, written as the element calls arrive: one
// Writer per file, created by GDSIIWriter::beginLib when the library is
// OASIS and driven by the same element calls, after their checks.
//
// What goes where:
//  - START carries the unit (grid steps per micron) and says that the table
//    offsets are in END. The library name and the time stamps have no
//    OASIS form and are dropped.
//  - Each cell is CELL by reference number, then XYRELATIVE: every position
//    is written relative to the one before of its kind, and every field
//    equal to its modal variable (layer, datatype, sizes, point lists,
//    extensions, repetition, placed cell, text string) is left out.
//  - Names go out by reference number, numbered when first needed (property
//    strings up to 16,384, then in their records); the
//    CELLNAME, TEXTSTRING, PROPNAME and PROPSTRING tables follow the last
//    cell, and END gives their offsets and the CRC32 of the file.
//  - Properties become S_GDS_PROPERTY records (the attribute as an
//    unsigned integer, the value as a string), as KLayout reads and writes
//    GDSII properties in OASIS.
//  - Shapes that differ only in position (same kind, layer, datatype, size,
//    point list; placements: same cell and transformation) are gathered,
//    by class, in a window of at most windowSize positions and maxClasses
//    classes, and each class is written once with a repetition (see
//    repetition_finder.h). Shapes with properties, polygons and paths of
//    more than maxGatheredBytes of points, and texts are written as they
//    come.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/byte_sink.h"
#include "core/element_property.h"
#include "oasis/encoders.h"
#include "oasis/output.h"
#include "oasis/repetition_finder.h"

namespace quillon::oasis {

using PropertyList = std::vector<ElementProperty>;

class Writer {
public:
    // level: 0 writes no CBLOCK, 1 to 9 compresses at that deflate level.
    Writer(ByteSink& sink, int level);

    void start(double metersPerUnit);
    void beginCell(const char* name, std::size_t length);
    void endCell();
    // The name tables and END; the file is complete after it.
    void end();

    void rectangle(std::int64_t x, std::int64_t y, std::uint64_t width, std::uint64_t height,
                   std::uint32_t layer, std::uint32_t datatype, const PropertyList& properties);
    // n >= 3 vertices, the closing edge implied.
    void polygon(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                 std::uint32_t layer, std::uint32_t datatype, const PropertyList& properties);
    // n >= 2 points; the extensions past the first and the last point.
    void path(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
              std::uint64_t halfWidth, std::int64_t startExtension, std::int64_t endExtension,
              std::uint32_t layer, std::uint32_t datatype, const PropertyList& properties);
    void circle(std::int64_t x, std::int64_t y, std::uint64_t radius, std::uint32_t layer,
                std::uint32_t datatype, const PropertyList& properties);
    // An instance of cell name at (x, y): mirrored about the x axis when
    // mirror, then magnified and turned counter-clockwise by angle degrees;
    // repeated as repetition says.
    void placement(const char* name, std::size_t length, std::int64_t x, std::int64_t y,
                   double magnification, double angle, bool mirror,
                   const Repetition& repetition, const PropertyList& properties);
    void text(std::int64_t x, std::int64_t y, const char* text, std::size_t length,
              std::uint32_t layer, std::uint32_t textType, const PropertyList& properties);

    // The most positions gathered, and shape classes they belong to.
    static constexpr std::size_t windowSize = 4096;
    static constexpr std::size_t maxClasses = 1024;
    static constexpr std::size_t maxGatheredBytes = 1024;
    // The fewest positions worth an arbitrary repetition; fewer go alone.
    static constexpr std::size_t minimumArbitrary = 16;

private:
    // A shape without its position: what consecutive shapes must share to
    // be written as one with a repetition.
    struct Shape {
        enum Kind : std::uint8_t { rectangle, polygon, path, circle, placement } kind;
        std::uint32_t layer = 0;
        std::uint32_t datatype = 0;
        std::uint64_t width = 0;   // rectangle width, circle radius, path half-width
        std::uint64_t height = 0;  // rectangle height
        std::int64_t startExtension = 0;
        std::int64_t endExtension = 0;
        std::uint64_t cell = 0;  // placement: the cell's reference number
        double magnification = 1;
        double angle = 0;
        bool mirror = false;
        Bytes points;  // polygon or path: the encoded point list
        bool operator==(const Shape& other) const;
        std::uint64_t hash() const;
    };
    // The positions gathered for one class of shapes, in the order they
    // came, with their place in the order of all shapes.
    struct Class {
        Shape shape;
        std::uint64_t hash = 0;
        std::vector<Delta> positions;
        std::vector<std::uint64_t> sequence;
    };
    // A shape the finder gave no worthwhile repetition: written alone, in
    // the order the shapes came, so that consecutive records still share
    // their modal fields.
    struct Single {
        std::uint64_t sequence;
        std::uint32_t index;  // its class
        Delta at;
    };
    // Gathers the candidate shape at (x, y), or writes it at once when it
    // carries properties.
    void addShape(std::int64_t x, std::int64_t y, const PropertyList& properties);
    // Writes the gathered shapes of one class that have a worthwhile
    // repetition and queues the others in singles: all of them when final,
    // otherwise enough to make room in the window.
    void flushClass(std::uint32_t index, bool final);
    // Writes the queued singles in the order they came.
    void writeSingles();
    // Writes every gathered shape and forgets the classes.
    void flushShapes();
    void emit(const Shape& shape, Delta at, const Repetition& repetition);
    // One emitter per kind (rectangle.cpp, polygon.cpp, path.cpp,
    // placement.cpp): the record of shape at with repetition, the fields
    // equal to their modal variables left out.
    void emitRectangle(const Shape& shape, Delta at, const Repetition& repetition);
    void emitPolygon(const Shape& shape, Delta at, const Repetition& repetition);
    void emitPath(const Shape& shape, Delta at, const Repetition& repetition);
    void emitCircle(const Shape& shape, Delta at, const Repetition& repetition);
    void emitPlacement(const Shape& shape, Delta at, const Repetition& repetition);
    void emitRepetition(const Repetition& repetition);
    // The fields every geometry record (RECTANGLE, POLYGON, PATH, CIRCLE)
    // has in the same bits: layer (0x01), datatype (0x02), repetition
    // (0x04), y (0x08) and x (0x10), each set when it must be written.
    std::uint8_t geometryInfo(const Shape& shape, Delta at, const Repetition& repetition);
    // The record byte, info, and the layer and datatype its bits call for.
    void putGeometryHead(std::uint8_t record, std::uint8_t info, const Shape& shape);
    // The x, y and repetition its bits call for.
    void putGeometryTail(std::uint8_t info, Delta at, const Repetition& repetition);
    // The candidate's kind, layer and datatype, the rest as it stands.
    void startCandidate(std::uint8_t kind, std::uint32_t layer, std::uint32_t datatype);
    void emitProperties(const PropertyList& properties);
    // An x or y field in relative mode: the difference from modal, which
    // then takes value.
    void putPosition(std::int64_t value, std::int64_t& modal);
    void resetModals();
    // The reference number of name in table (numbered when new), or -1
    // when a bounded table is full and the name goes out as a string.
    struct NameTable {
        std::unordered_map<std::string, std::uint64_t> numbers;
        std::vector<const std::string*> order;
        std::size_t bytes = 0;
        bool bounded = false;
        bool complete = true;  // every name went out by number
        std::int64_t number(const char* name, std::size_t length);
    };
    void writeTable(NameTable& table, std::uint8_t record, std::uint64_t& offset);

    Output output;
    Bytes& out;  // the output's open block

    NameTable cellNames;
    NameTable textStrings;
    NameTable propertyStrings;
    bool usesGdsProperty = false;

    Shape candidate;
    std::vector<Class> classes;     // the first classesUsed are in use
    std::size_t classesUsed = 0;
    std::size_t gatheredCount = 0;  // positions in all classes
    std::size_t lastClass = 0;      // the class the last shape joined
    std::uint64_t sequence = 0;     // shapes gathered so far
    std::vector<Single> singles;
    // Open addressing by hash: class index + 1, 0 for a free slot.
    std::vector<std::uint32_t> slots;
    RepetitionFinder finder;

    // Modal variables, unknown at the start of each cell (positions 0).
    template <class T>
    struct Modal {
        T value{};
        bool known = false;
        // True (and value taken) when v differs from the known value.
        bool change(const T& v) {
            if (known && value == v) return false;
            value = v;
            known = true;
            return true;
        }
    };
    Modal<std::uint32_t> layer, datatype, textLayer, textType;
    Modal<std::uint64_t> width, height, halfWidth, radius, placedCell, textString;
    Modal<std::int64_t> startExtension, endExtension;
    Modal<Bytes> polygonPoints, pathPoints, repetitionBytes;
    Modal<std::int32_t> lastAttribute;
    std::string lastValue;
    std::int64_t geometryX = 0, geometryY = 0, placementX = 0, placementY = 0, textX = 0,
                 textY = 0;
    Bytes scratch;
};

}  // namespace quillon::oasis
