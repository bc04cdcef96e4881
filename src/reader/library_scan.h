// A look inside a GDSII library without copying it: its units, its
// structures in file order, which of them are top structures, and the
// names each references. The file streams through the record reader and
// the library checker, so memory grows with the number of structures and
// references, never with the geometry.
#pragma once

#include <optional>
#include <vector>

#include "byte_source.h"
#include "library_check.h"
#include "record_reader.h"

namespace quillon::reader {

struct LibraryScan {
    double dbUnitInUserUnits = 0;  // UNITS, first value
    double dbUnitInMeters = 0;     // UNITS, second value
    std::vector<StructureInfo> structures;  // file order
    std::vector<char> top;  // top[i]: no other structure references structures[i]
};

// Which structures no other one references: the top ones. A structure that
// references only itself is still a top one.
std::vector<char> topStructures(const std::vector<StructureInfo>& structures);

// Reads the whole library from source into scan. Returns the first fault:
// the framing and record order that LibraryChecker checks, a broken source,
// or a structure name defined twice; scan is then incomplete.
std::optional<ParseError> scanLibrary(ByteSource& source, LibraryScan& scan);

}  // namespace quillon::reader

// The dump tool's name for the reader.
namespace gdsdump {
using namespace quillon::reader;
}  // namespace gdsdump
