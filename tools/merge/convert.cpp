// quillon-convert: one GDSII file (plain or gzip) rewritten as OASIS, or
// as GDSII again (recompressed, compact), in constant memory.
//
//   quillon-convert [options] IN.gds[.gz] OUT.oas|OUT.gds[.gz]
//
// The file goes through quillon_include: checked whole, then written, its
// elements through the same element calls a host makes when OUT is OASIS.
// How OUT is written, and what a fault leaves, is library_job.h's. Exit
// status 1 on a fault, 2 for a usage error.
#include <cstdlib>
#include <iostream>
#include <string>

#include "library_job.h"
#include "quillon.h"

namespace {

using quillon::tools::LibraryJob;

const char* const usageText =
    "usage: quillon-convert [options] IN.gds[.gz] OUT.oas|OUT.gds[.gz]\n"
    "       quillon-convert --help | --version\n"
    "Writes the GDSII file IN (plain or gzip) as OASIS when OUT ends in .oas, otherwise\n"
    "as GDSII (gzip when OUT ends in .gz), in constant memory.\n"
    "  --structures A,B,...   only these structures and what they reference\n"
    "  --prefix P             name every structure P + NAME (references follow)\n"
    "  --unit METRES          the output's database unit (default: IN's); IN's must be\n"
    "                         a whole multiple of it, and coordinates are scaled exactly\n"
    "  --compression N        0 none; 1 to 9 the deflate level (OASIS: CBLOCKs, default\n"
    "                         level 2; GDSII: gzip, default 1 for .gz, none otherwise)\n"
    "  --jobs N               threads that compress gzip output (default: one per core)\n"
    "  -q                     print no warnings\n"
    "OUT may not be IN. It is written beside OUT and renamed when complete, so a failed\n"
    "or interrupted conversion leaves an existing OUT as it was. What OASIS has no form\n"
    "for (NODE) is left out with a warning. Exit status: 0 done, 1 failed, 2 usage.\n";

int usage() {
    std::cerr << usageText;
    return 2;
}

// A whole number from 0 to limit, or -1.
long wholeNumber(const char* text, long limit) {
    char* end = nullptr;
    const long value = std::strtol(text, &end, 10);
    return end != text && *end == 0 && value >= 0 && value <= limit ? value : -1;
}

}  // namespace

int main(int argc, char** argv) {
    LibraryJob job;
    job.program = "quillon-convert";
    job.onClash = QUILLON_CLASH_ERROR;
    job.inputs.resize(1);
    std::string files[2];
    int fileCount = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--structures" && hasValue) {
            job.inputs[0].ownStructures = true;
            job.inputs[0].structures = quillon::tools::splitList(argv[++i]);
            if (job.inputs[0].structures.empty()) return usage();
        } else if (arg == "--prefix" && hasValue) {
            job.inputs[0].ownPrefix = true;
            job.inputs[0].prefix = argv[++i];
        } else if (arg == "--unit" && hasValue) {
            char* end = nullptr;
            job.unitMeters = std::strtod(argv[++i], &end);
            if (*end != 0 || !(job.unitMeters > 0)) return usage();
        } else if (arg == "--compression" && hasValue) {
            job.compression = static_cast<int>(wholeNumber(argv[++i], 9));
            if (job.compression < 0) return usage();
        } else if (arg == "--jobs" && hasValue) {
            // The pool of the gzip output's compression stage.
            if (wholeNumber(argv[++i], 64) < 1) return usage();
#if defined(_WIN32)
            _putenv_s("QUILLON_DEFLATE_THREADS", argv[i]);
#else
            setenv("QUILLON_DEFLATE_THREADS", argv[i], 1);
#endif
        } else if (arg == "-q") {
            job.quiet = true;
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usageText;
            return 0;
        } else if (arg == "--version") {
            std::cout << "quillon-convert " QUILLON_MERGE_VERSION "\n";
            return 0;
        } else if (!arg.empty() && arg[0] != '-' && fileCount < 2) {
            files[fileCount++] = arg;
        } else {
            return usage();
        }
    }
    if (fileCount != 2) return usage();
    job.inputs[0].path = files[0];
    job.output = files[1];
    return quillon::tools::writeLibrary(job);
}
