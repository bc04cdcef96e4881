// The order of records a GDSII library must follow, checked record by
// record on top of the framing that RecordReader checks:
//
//   HEADER BGNLIB {library records} UNITS
//     { BGNSTR STRNAME [STRCLASS] { element } ENDSTR }
//   ENDLIB
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

    static unsigned bit(unsigned type);

    State state = State::Start;
    unsigned element = 0;         // the open element's first record
    unsigned elementRecords = 0;  // bit t: a record of type t < 32 seen in it
    bool unitsSeen = false;
    std::uint8_t unitBytes[16] = {};
    std::vector<StructureInfo> found;
    std::set<std::string> references;  // of the open structure
    std::uint64_t structureBegin = 0;
};

}  // namespace quillon::reader
