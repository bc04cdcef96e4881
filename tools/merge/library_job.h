// What quillon-merge and quillon-convert share: one output library written
// from the structures of existing GDSII files through quillon_include, in
// constant memory, safely.
//
// OUT's suffix chooses the format: ".oas" (any case) OASIS, otherwise
// GDSII, gzip when it ends in ".gz". OUT may not be one of the inputs (by
// any path). The library is written to a temporary file beside OUT and
// renamed to OUT only once complete: a run that fails, is interrupted
// (SIGINT, SIGTERM, SIGHUP) or killed leaves no partial OUT, and an
// existing OUT as it was. A reference to a structure no input defines is a
// warning, printed, and the run still succeeds. On any fault the program
// names the input, the byte offset and the reason. Inputs are read twice
// (scanned, then included), so each must be a regular file.
#pragma once

#include <string>
#include <vector>

namespace quillon::tools {

// One input and the options given with it.
struct Input {
    std::string path;
    bool ownStructures = false;
    std::vector<std::string> structures;
    bool ownPrefix = false;
    std::string prefix;
};

struct LibraryJob {
    const char* program = "quillon-merge";  // names the messages
    std::string output;
    std::vector<Input> inputs;
    // Only these structures and what they reference, from each input that
    // defines any of them (one no input defines is a fault), unless the
    // input has its own.
    std::vector<std::string> structures;
    bool prefixEach = false;  // STEM_ before each input's names
    int onClash = 0;          // QUILLON_CLASH_*
    const char* libraryName = nullptr;  // NULL: OUT as given
    const char* top = nullptr;  // a structure placing every top structure
    // The output's database unit in metres; 0: the finest of the inputs'.
    double unitMeters = 0;
    // As QuillonOptions.compression; -1: gzip level 1 for ".gz", CBLOCKs at
    // the default level for OASIS, none otherwise.
    int compression = -1;
    bool quiet = false;  // no warnings printed
};

// Writes the library; the exit status: 0 done, 1 failed (the reason
// printed on standard error).
int writeLibrary(const LibraryJob& job);

// Prints path's units and structures as quillon-dump --cells does (top
// ones marked, each with what it references); the exit status.
int listCells(const LibraryJob& job, const char* path);

// Prints "PROGRAM: where: why" on standard error; returns 1.
int fail(const LibraryJob& job, const std::string& where, const std::string& why);

// "a,b,,c" -> {"a", "b", "c"}.
std::vector<std::string> splitList(const std::string& list);

}  // namespace quillon::tools
