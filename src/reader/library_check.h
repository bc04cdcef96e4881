// The order of records a GDSII library must follow, checked record by
// record on top of the framing that RecordReader checks:
//
//   HEADER BGNLIB {library records} UNITS {PROPATTR PROPVALUE}
//     { BGNSTR STRNAME [STRCLASS] {PROPATTR PROPVALUE} { element } ENDSTR }
//   ENDLIB
//
// The property pairs after UNITS are the library's properties and those
// after STRNAME the structure's, as KLayout writes them
// (gds2_write_file_properties, gds2_write_cell_properties). An AREF's XY
// must hold its three points, and every XY whole pairs.
//
// where an element is BOUNDARY, PATH, SREF, AREF, TEXT, TEXTNODE, NODE or
// BOX, its own records, and ENDEL. Records of the format that no writer of
// ours emits are accepted where the format puts them. The records whose
// values a copy interprets (names, coordinates, widths, extensions, units)
// must have their data type and size. Along the way it collects each
// structure's name and the distinct names its SREFs and AREFs point to, so
// that a whole library is described in memory that grows with its number
// of structures and references, not with its geometry.
#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "record_reader.h"

namespace quillon::reader {

struct StructureInfo {
    std::string name;
    std::vector<std::string> references;  // distinct, sorted
    std::uint64_t begin = 0;  // byte offset of BGNSTR
    std::uint64_t end = 0;    // byte offset just past ENDSTR
};

// A name as an ASCII record holds it: its bytes up to the first NUL.
std::string asciiValue(const Record& record);

class LibraryChecker {
public:
    // Checks that record may come next; the first fault is returned (and
    // every later call fails as well).
    std::optional<ParseError> check(const Record& record);
    // The library's UNITS record data (two REAL8 values), once seen.
    const std::uint8_t* units() const { return unitsSeen ? unitBytes : nullptr; }
    // The structures so far, in file order.
    const std::vector<StructureInfo>& structures() const { return found; }
    // ENDLIB has been checked.
    bool complete() const { return state == State::Done; }

private:
    enum class State { Start, AfterHeader, LibraryHeader, Library, StructureName, Structure,
                       Element, Done, Failed };
    std::optional<ParseError> fail(const Record& record, const std::string& message);
    // PROPATTR and PROPVALUE in pairs, PROPATTR only where allowed.
    std::optional<ParseError> checkProperty(const Record& record, bool allowed);
    // The points of an element's XY record.
    std::optional<ParseError> checkPoints(const Record& record);

    static unsigned bit(unsigned type);

    State state = State::Start;
    unsigned element = 0;         // the open element's first record
    unsigned elementRecords = 0;  // bit t: a record of type t < 32 seen in it
    bool unitsSeen = false;
    bool elementSeen = false;   // the open structure has an element
    bool propertyOpen = false;  // a PROPATTR waits for its PROPVALUE
    std::uint8_t unitBytes[16] = {};
    std::vector<StructureInfo> found;
    std::set<std::string> references;  // of the open structure
    std::uint64_t structureBegin = 0;
};

}  // namespace quillon::reader
