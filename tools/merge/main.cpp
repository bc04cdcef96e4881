// quillon-merge: writes one GDSII library from the structures of several.
//
//   quillon-merge [options] OUT IN[:structures=A,B][:prefix=P]...
//   quillon-merge --list FILE | --help | --version
//
// (the usage text below says what each option does). Options given with an
// input apply to it alone, in place of --structures and --prefix-each.
//
// Each input (plain or gzip) is copied through quillon_include, in
// constant memory. The output's database unit is the finest of the
// inputs'; the others must be whole multiples of it. How the output is
// written, and what a fault leaves, is library_job.h's. Exit status 1 on a
// fault, 2 for a usage error.
#include <iostream>
#include <string>
#include <vector>

#include "library_job.h"
#include "quillon.h"

namespace {

using quillon::tools::Input;
using quillon::tools::LibraryJob;
using quillon::tools::splitList;

const char* const usageText =
    "usage: quillon-merge [options] OUT.gds[.gz]|OUT.oas IN.gds[.gz][:structures=A,B][:prefix=P]...\n"
    "       quillon-merge --list FILE | --help | --version\n"
    "Writes one library OUT (GDSII, or OASIS for .oas) from the structures of the\n"
    "GDSII inputs (plain or gzip).\n"
    "  --prefix-each          rename each input's structures STEM_NAME, STEM being its\n"
    "                         file name without folder and .gds/.gz (references follow)\n"
    "  --structures A,B,...   only these structures and what they reference, from each\n"
    "                         input that defines any of them (one no input defines fails)\n"
    "  --on-clash POLICY      a name already in the output: error (the default),\n"
    "                         skip-identical (reuse an identical one) or rename (NAME_1...)\n"
    "  --library-name NAME    LIBNAME of the output (default: OUT as given)\n"
    "  --top NAME             add a structure NAME placing every top structure at 0,0\n"
    "  IN:structures=A,B      for this input only: these structures (it must define them)\n"
    "  IN:prefix=P            for this input only: names P + NAME\n"
    "  --list FILE            print FILE's units and structures as quillon-dump --cells\n"
    "                         does (top ones marked, each with what it references)\n"
    "OUT may not be an input. It is written beside OUT and renamed when complete, so a\n"
    "failed or interrupted merge leaves an existing OUT as it was. Exit status: 0 done\n"
    "(a reference to an undefined structure is a warning), 1 failed, 2 usage.\n";

int usage() {
    std::cerr << usageText;
    return 2;
}

// One input and the options given with it: PATH[:structures=A,B][:prefix=P].
// The path ends at the first ":structures=" or ":prefix=", so that other
// colons (C:\ on Windows) stay in it.
bool parseInput(const std::string& arg, Input& input) {
    const auto option = [&](std::size_t from) {
        return std::min(arg.find(":structures=", from), arg.find(":prefix=", from));
    };
    std::size_t at = option(0);
    input.path = arg.substr(0, at);
    while (at != std::string::npos) {
        const std::size_t next = option(at + 1);
        const std::string item = arg.substr(at + 1, next == std::string::npos ? std::string::npos
                                                                              : next - at - 1);
        const std::size_t equals = item.find('=');
        const std::string key = item.substr(0, equals), value = item.substr(equals + 1);
        if (key == "structures") {
            input.ownStructures = true;
            input.structures = splitList(value);
            if (input.structures.empty()) return false;
        } else {
            input.ownPrefix = true;
            input.prefix = value;
        }
        at = next;
    }
    return !input.path.empty();
}

}  // namespace

int main(int argc, char** argv) {
    LibraryJob job;
    job.program = "quillon-merge";
    job.onClash = QUILLON_CLASH_ERROR;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--prefix-each") {
            job.prefixEach = true;
        } else if (arg == "--structures" && hasValue) {
            job.structures = splitList(argv[++i]);
            if (job.structures.empty()) return usage();
        } else if (arg == "--on-clash" && hasValue) {
            const std::string policy = argv[++i];
            if (policy == "error") job.onClash = QUILLON_CLASH_ERROR;
            else if (policy == "skip-identical") job.onClash = QUILLON_CLASH_SKIP_IDENTICAL;
            else if (policy == "rename") job.onClash = QUILLON_CLASH_RENAME;
            else return usage();
        } else if (arg == "--library-name" && hasValue) {
            job.libraryName = argv[++i];
        } else if (arg == "--top" && hasValue) {
            job.top = argv[++i];
        } else if (arg == "--list" && hasValue) {
            return quillon::tools::listCells(job, argv[++i]);
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usageText;
            return 0;
        } else if (arg == "--version") {
            std::cout << "quillon-merge " QUILLON_MERGE_VERSION "\n";
            return 0;
        } else if (!arg.empty() && arg[0] != '-') {
            files.push_back(argv[i]);
        } else {
            return usage();
        }
    }
    if (files.size() < 2) return usage();
    job.output = files.front();
    job.inputs.resize(files.size() - 1);
    for (std::size_t i = 0; i < job.inputs.size(); ++i)
        if (!parseInput(files[i + 1], job.inputs[i])) return usage();
    return quillon::tools::writeLibrary(job);
}
