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

std::optional<ParseError> scanLibrary(ByteSource& source, LibraryScan& scan, bool unitsOnly) {
    RecordReader reader(source);
    LibraryChecker checker;
    Record record;
    std::unordered_set<std::string> seen;
    while (reader.next(record)) {
        if (auto error = checker.check(record)) return error;
        if (record.type == UNITS) {
            scan.dbUnitInUserUnits = record.real8(0);
            scan.dbUnitInMeters = record.real8(1);
            if (unitsOnly) return std::nullopt;
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

void printCells(const LibraryScan& scan, std::ostream& out) {
    const auto precision = out.precision(15);
    out << "units: " << scan.dbUnitInUserUnits << " user units, " << scan.dbUnitInMeters
        << " m per database unit\n";
    out.precision(precision);
    for (std::size_t i = 0; i < scan.structures.size(); ++i) {
        out << (scan.top[i] ? "top " : "-   ") << scan.structures[i].name;
        if (!scan.structures[i].references.empty()) out << " ->";
        for (const std::string& target : scan.structures[i].references) out << ' ' << target;
        out << '\n';
    }
}

}  // namespace quillon::reader
