// quillon-dump: prints a GDSII Stream file record by record, or a summary.
//
//   quillon-dump FILE             one line per record
//   quillon-dump --summary FILE   counts, structures, layers, bounding box
//
// A gzip-compressed file (chip.gds.gz; known by its first two bytes, not
// its name) is inflated into memory and read like the file it holds.
// Exit status 0 for a well-formed file, 1 when the file is malformed (after
// the records read before the fault have been printed; for a corrupt gzip
// stream, the records of what could be inflated), 2 for a usage error
// or a file that cannot be read.
#include <cstdio>
#include <cstring>
#include <exception>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#if !defined(_WIN32)
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "gds_dump.h"
#include "gds_gunzip.h"
#include "gds_parser.h"
#include "gds_summary.h"

namespace {

const char* const usageText =
    "usage: quillon-dump [--summary] FILE.gds (or FILE.gds.gz)\n"
    "  one line per record: byte offset, total length, record, data type, data;\n"
    "  --summary: counts per record and element kind, structures, layers, extent\n";

int usage() {
    std::cerr << usageText;
    return 2;
}

// The bytes of a file: mapped into memory where the system allows it, so
// that files of many gigabytes need no copy, or else read whole.
class FileBytes {
public:
    explicit FileBytes(const char* path) {
#if !defined(_WIN32)
        const int fd = ::open(path, O_RDONLY);
        if (fd < 0) return;
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
            void* mapped = ::mmap(nullptr, static_cast<std::size_t>(info.st_size), PROT_READ,
                                  MAP_PRIVATE, fd, 0);
            if (mapped != MAP_FAILED) {
                mapping = mapped;
                bytes = static_cast<const std::uint8_t*>(mapped);
                count = static_cast<std::size_t>(info.st_size);
                opened = true;
                ::close(fd);
                return;
            }
        }
        ::close(fd);
#endif
        std::ifstream file(path, std::ios::binary);
        if (!file) return;
        copy.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
        if (file.bad()) return;
        bytes = copy.data();
        count = copy.size();
        opened = true;
    }

    ~FileBytes() {
#if !defined(_WIN32)
        if (mapping != nullptr) ::munmap(mapping, count);
#endif
    }

    FileBytes(const FileBytes&) = delete;
    FileBytes& operator=(const FileBytes&) = delete;

    bool ok() const { return opened; }
    const std::uint8_t* data() const { return bytes; }
    std::size_t size() const { return count; }

private:
    bool opened = false;
    void* mapping = nullptr;
    std::vector<std::uint8_t> copy;
    const std::uint8_t* bytes = nullptr;
    std::size_t count = 0;
};

}  // namespace

int run(int argc, char** argv) {
    bool summary = false;
    const char* path = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--summary") == 0) {
            summary = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << usageText;
            return 0;
        } else if (path == nullptr && argv[i][0] != '-') {
            path = argv[i];
        } else {
            return usage();
        }
    }
    if (path == nullptr) return usage();

    const FileBytes bytes(path);
    if (!bytes.ok()) {
        std::cerr << "quillon-dump: " << path << ": cannot open file\n";
        return 2;
    }

    const std::uint8_t* data = bytes.data();
    std::size_t size = bytes.size();
    std::vector<std::uint8_t> inflated;
    std::string gzipError;
    if (gdsdump::isGzip(data, size)) {
        gzipError = gdsdump::gunzip(data, size, inflated);
        data = inflated.data();
        size = inflated.size();
    }

    gdsdump::Dumper dumper(std::cout);
    gdsdump::Summary counts;
    const auto error = gdsdump::readRecords(data, size,
                                            [&](const gdsdump::Record& record) {
                                                if (summary) {
                                                    counts.record(record);
                                                } else {
                                                    dumper.record(record);
                                                }
                                            });
    if (summary) counts.write(std::cout);
    std::cout.flush();
    // A broken gzip stream is the fault to report: what the records of the
    // part inflated before it show follows from it.
    if (!gzipError.empty()) {
        std::cerr << "quillon-dump: " << path << ": " << gzipError << '\n';
        return 1;
    }
    if (error) {
        std::cerr << "quillon-dump: " << path << ": " << gdsdump::describe(*error) << '\n';
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
