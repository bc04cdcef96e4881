#include "library_scan.h"

#include <unordered_map>
#include <unordered_set>

#include "gds_records.h"

namespace quillon::reader {

std::vector<char> topStructures(const std::vector<StructureInfo>& structures) {
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < structures.size(); ++i) index.emplace(structures[i].name, i);
    std::vector<char> top(structures.size(), 1);
    for (std::size_t i = 0; i < structures.size(); ++i) {
        for (const std::string& target : structures[i].references) {
            const auto found = index.find(target);
            if (found != index.end() && found->second != i) top[found->second] = 0;
        }
    }
    return top;
}

std::optional<ParseError> scanLibrary(ByteSource& source, LibraryScan& scan) {
    RecordReader reader(source);
    LibraryChecker checker;
    Record record;
    std::unordered_set<std::string> seen;
    while (reader.next(record)) {
        if (auto error = checker.check(record)) return error;
        if (record.type == UNITS) {
            scan.dbUnitInUserUnits = record.real8(0);
            scan.dbUnitInMeters = record.real8(1);
        } else if (record.type == STRNAME) {
            const StructureInfo& last = checker.structures().back();
            if (!seen.insert(last.name).second)
                return ParseError{last.begin, "structure \"" + last.name + "\" is defined twice"};
        }
    }
    if (const auto& error = reader.error()) return error;
    scan.structures = checker.structures();
    scan.top = topStructures(scan.structures);
    return std::nullopt;
}

}  // namespace quillon::reader
