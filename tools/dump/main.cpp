// quillon-dump: prints a GDSII Stream file record by record, or a summary.
//
//   quillon-dump FILE             one line per record
//   quillon-dump --summary FILE   counts, structures, layers, bounding box
//   quillon-dump --cells FILE     units, cells, top cells, references
//
// The file streams through the library's record reader in constant memory;
// a gzip-compressed file (chip.gds.gz; known by its first two bytes, not
// its name) is inflated on the fly and read like the file it holds.
// Exit status 0 for a well-formed file, 1 when the file is malformed (after
// the records read before the fault have been printed; for a corrupt gzip
// stream, the records of what could be inflated), 2 for a usage error
// or a file that cannot be read.
#include <cstring>
#include <exception>
#include <iostream>
#include <string>

#include "byte_source.h"
#include "gds_dump.h"
#include "library_scan.h"
#include "record_reader.h"
#include "gds_summary.h"

namespace {

const char* const usageText =
    "usage: quillon-dump [--summary | --cells] FILE.gds (or FILE.gds.gz)\n"
    "  one line per record: byte offset, total length, record, data type, data;\n"
    "  --summary: counts per record and element kind, structures, layers, extent;\n"
    "  --cells: the units, then one line per cell in file order: \"top\" or \"-\",\n"
    "    its name, and after \"->\" the names it references\n";

int usage() {
    std::cerr << usageText;
    return 2;
}

// --cells: what quillon_scan reports, one cell per line.
int listCells(gdsdump::FileSource& source, const char* path) {
    gdsdump::LibraryScan scan;
    if (const auto error = gdsdump::scanLibrary(source, scan)) {
        std::cerr << "quillon-dump: " << path << ": "
                  << (error->inSource ? error->message : gdsdump::describe(*error)) << '\n';
        return 1;
    }
    std::cout.precision(15);
    std::cout << "units: " << scan.dbUnitInUserUnits << " user units, " << scan.dbUnitInMeters
              << " m per database unit\n";
    for (std::size_t i = 0; i < scan.structures.size(); ++i) {
        std::cout << (scan.top[i] ? "top " : "-   ") << scan.structures[i].name;
        if (!scan.structures[i].references.empty()) std::cout << " ->";
        for (const std::string& target : scan.structures[i].references) std::cout << ' ' << target;
        std::cout << '\n';
    }
    return 0;
}

}  // namespace

int run(int argc, char** argv) {
    bool summary = false;
    bool cells = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--summary") == 0) {
            summary = true;
        } else if (std::strcmp(argv[i], "--cells") == 0) {
            cells = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << usageText;
            return 0;
        } else if (path == nullptr && argv[i][0] != '-') {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (path == nullptr || (summary && cells)) return usage();

    gdsdump::FileSource source;
    if (!source.open(path)) {
        std::cerr << "quillon-dump: " << path << ": cannot open file\n";
        return 2;
    }
    if (cells) return listCells(source, path);

    gdsdump::Dumper dumper(std::cout);
    gdsdump::Summary counts;
    gdsdump::RecordReader reader(source);
    gdsdump::Record record;
    while (reader.next(record)) {
        if (summary) {
            counts.record(record);
        } else {
            dumper.record(record);
        }
    }
    if (summary) counts.write(std::cout);
    std::cout.flush();
    if (const auto& error = reader.error()) {
        // A broken gzip stream (or a failed read) is reported as itself:
        // the offset would only say how much of it could be inflated.
        std::cerr << "quillon-dump: " << path << ": "
                  << (error->inSource ? error->message : gdsdump::describe(*error)) << '\n';
        return 1;
    }
    return 0;
}

int main(int argc, char** argv) {
    try {
        return run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << "quillon-dump: " << error.what() << '\n';
        return 2;
    }
}
