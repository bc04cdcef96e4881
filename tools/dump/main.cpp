// quillon-dump: prints a GDSII Stream file record by record, or a summary.
//
//   quillon-dump FILE             one line per record
//   quillon-dump --summary FILE   counts, structures, layers, bounding box
//
// Exit status 0 for a well-formed file, 1 when the file is malformed (after
// the records read before the fault have been printed), 2 for a usage error
// or a file that cannot be read.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

#include "gds_dump.h"
#include "gds_parser.h"
#include "gds_summary.h"

namespace {

int usage() {
    std::cerr << "usage: quillon-dump [--summary] FILE.gds\n";
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    bool summary = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--summary") == 0) {
            summary = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            usage();
            return 0;
        } else if (path == nullptr && (argv[i][0] != '-' || argv[i][1] == '\0')) {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (path == nullptr) return usage();

    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::cerr << "quillon-dump: " << path << ": cannot open file\n";
        return 2;
    }
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)),
                                          std::istreambuf_iterator<char>());
    if (file.bad()) {
        std::cerr << "quillon-dump: " << path << ": cannot read file\n";
        return 2;
    }

    gdsdump::Dumper dumper(std::cout);
    gdsdump::Summary counts;
    const auto error = gdsdump::readRecords(bytes.data(), bytes.size(),
                                            [&](const gdsdump::Record& record) {
                                                if (summary) {
                                                    counts.record(record);
                                                } else {
                                                    dumper.record(record);
                                                }
                                            });
    if (summary) counts.write(std::cout);
    std::cout.flush();
    if (error) {
        std::cerr << "quillon-dump: " << path << ": " << gdsdump::describe(*error) << '\n';
        return 1;
    }
    return 0;
}
