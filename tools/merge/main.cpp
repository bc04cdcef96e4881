// quillon-merge: writes one GDSII library from the structures of several.
//
//   quillon-merge [options] OUT IN[:structures=A,B][:prefix=P]...
//   quillon-merge --list FILE | --help | --version
//
// (the usage text below says what each option does). Options given with an
// input apply to it alone, in place of --structures and --prefix-each.
//
// Each input (plain or gzip) is copied record by record through
// quillon_include, in constant memory; OUT is gzip when it ends in .gz. The
// output's database unit is the finest of the inputs'; the others must be
// whole multiples of it. OUT may not be one of the inputs (by any path).
// The merge is written to a temporary file beside OUT and renamed to OUT
// only once complete: a merge that fails, is interrupted (SIGINT, SIGTERM,
// SIGHUP) or killed leaves no partial OUT, and an existing OUT as it was.
// A reference to a structure no input defines is a warning, printed, and
// the merge still succeeds. On any fault the program names the input, the
// byte offset and the reason and exits 1 (2 for a usage error). Inputs are
// read twice (scanned, then included), so each must be a regular file.
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <iostream>
#include <set>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <process.h>
#else
#include <unistd.h>
#endif

#include "byte_source.h"
#include "library_scan.h"
#include "quillon.h"
#include "record_reader.h"

namespace {

namespace rd = quillon::reader;
namespace fs = std::filesystem;

const char* const usageText =
    "usage: quillon-merge [options] OUT.gds[.gz] IN.gds[.gz][:structures=A,B][:prefix=P]...\n"
    "       quillon-merge --list FILE | --help | --version\n"
    "Writes one GDSII library OUT from the structures of the inputs (plain or gzip).\n"
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

int fail(const std::string& where, const std::string& why) {
    std::cerr << "quillon-merge: " << where << ": " << why << '\n';
    return 1;
}

// The temporary output, removed unless renamed to OUT; a signal that ends
// the program removes it first.
char temporaryPath[4096] = "";

extern "C" void removeAndStop(int signal) {
    if (temporaryPath[0] != 0) std::remove(temporaryPath);
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

struct Temporary {
    ~Temporary() {
        if (temporaryPath[0] != 0) std::remove(temporaryPath);
        temporaryPath[0] = 0;
    }
};

std::string stemOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    for (const char* suffix : {".gz", ".gds", ".GZ", ".GDS"}) {
        const std::size_t n = std::strlen(suffix);
        if (name.size() > n && name.compare(name.size() - n, n, suffix) == 0)
            name.resize(name.size() - n);
    }
    return name;
}

bool endsInGz(const std::string& name) {
    return name.size() >= 3 && (name.compare(name.size() - 3, 3, ".gz") == 0 ||
                                name.compare(name.size() - 3, 3, ".GZ") == 0);
}

// Scans path (its units, and its structures unless unitsOnly); false, with
// the reason in why, when it cannot, the units are not positive, or (input)
// it cannot be read again by the include.
bool scan(const char* path, rd::LibraryScan& found, bool unitsOnly, bool input,
          std::string& why) {
    rd::FileSource source;
    if (!source.open(path)) {
        why = "cannot open file";
        return false;
    }
    // Each input is read once here and again by the include.
    if (input && !source.seekable()) {
        why = "not a regular file: each input is read twice";
        return false;
    }
    if (const auto error = rd::scanLibrary(source, found, unitsOnly)) {
        why = error->inSource ? error->message : rd::describe(*error);
        return false;
    }
    if (!(found.dbUnitInUserUnits > 0) || !(found.dbUnitInMeters > 0)) {
        char text[160];
        std::snprintf(text, sizeof text,
                      "UNITS gives the database unit as %.17g user units and %.17g m, not two "
                      "positive numbers",
                      found.dbUnitInUserUnits, found.dbUnitInMeters);
        why = text;
        return false;
    }
    return true;
}

std::vector<std::string> splitList(const std::string& list) {
    std::vector<std::string> names;
    for (std::size_t at = 0; at <= list.size();) {
        const std::size_t comma = std::min(list.find(',', at), list.size());
        if (comma > at) names.push_back(list.substr(at, comma - at));
        at = comma + 1;
    }
    return names;
}

// One input and the options given with it: PATH[:structures=A,B][:prefix=P].
// The path ends at the first ":structures=" or ":prefix=", so that other
// colons (C:\ on Windows) stay in it.
struct Input {
    std::string path;
    bool ownStructures = false;
    std::vector<std::string> structures;
    bool ownPrefix = false;
    std::string prefix;
};

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

// --list: the units and the structures of path, as quillon-dump --cells
// shows them.
int list(const char* path) {
    rd::LibraryScan found;
    std::string why;
    if (!scan(path, found, false, false, why)) return fail(path, why);
    rd::printCells(found, std::cout);
    return 0;
}

struct Collected {
    std::vector<std::string> tops;
    long long faultOffset = -1;
    std::string faultDetail;
    std::string warning;
};

void QUILLON_CALL onStructure(void* userData, const char* name, int top) {
    if (top) static_cast<Collected*>(userData)->tops.emplace_back(name);
}

void QUILLON_CALL onFault(void* userData, long long offset, const char* detail) {
    auto* collected = static_cast<Collected*>(userData);
    collected->faultOffset = offset;
    collected->faultDetail = detail;
}

void QUILLON_CALL onError(void* userData, int status, const char* message) {
    if (status == QUILLON_WARNING_UNDEFINED_STRUCTURE)
        static_cast<Collected*>(userData)->warning = message;
}

}  // namespace

int main(int argc, char** argv) {
    bool prefixEach = false;
    std::vector<std::string> structures;
    const char* libraryName = nullptr;
    const char* top = nullptr;
    int onClash = QUILLON_CLASH_ERROR;
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--prefix-each") {
            prefixEach = true;
        } else if (arg == "--structures" && hasValue) {
            structures = splitList(argv[++i]);
            if (structures.empty()) return usage();
        } else if (arg == "--on-clash" && hasValue) {
            const std::string policy = argv[++i];
            if (policy == "error") onClash = QUILLON_CLASH_ERROR;
            else if (policy == "skip-identical") onClash = QUILLON_CLASH_SKIP_IDENTICAL;
            else if (policy == "rename") onClash = QUILLON_CLASH_RENAME;
            else return usage();
        } else if (arg == "--library-name" && hasValue) {
            libraryName = argv[++i];
        } else if (arg == "--top" && hasValue) {
            top = argv[++i];
        } else if (arg == "--list" && hasValue) {
            return list(argv[++i]);
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
    const char* output = files.front();
    std::vector<Input> given(files.size() - 1);
    for (std::size_t i = 0; i < given.size(); ++i)
        if (!parseInput(files[i + 1], given[i])) return usage();
    std::vector<const char*> inputs;
    for (const Input& input : given) inputs.push_back(input.path.c_str());

    // OUT must not be an input by any path: nothing is opened for writing
    // before that is known.
    const rd::FileIdentity outputIdentity = rd::identityOf(output);
    for (const char* input : inputs) {
        if (outputIdentity.sameAs(rd::identityOf(input)))
            return fail(output, std::string("is the input ") + input + ", which it would replace");
    }

    // The finest database unit of the inputs becomes the output's; with
    // --structures, each input is asked for the names it defines.
    double userUnits = 0, meters = 0;
    std::vector<std::vector<std::string>> chosen(inputs.size());
    std::set<std::string> defined;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        rd::LibraryScan found;
        std::string why;
        const bool wanted = !structures.empty() && !given[i].ownStructures;
        if (!scan(inputs[i], found, !wanted, true, why)) return fail(inputs[i], why);
        if (meters == 0 || found.dbUnitInMeters < meters) {
            userUnits = found.dbUnitInUserUnits;
            meters = found.dbUnitInMeters;
        }
        if (given[i].ownStructures) chosen[i] = given[i].structures;
        for (const rd::StructureInfo& structure : found.structures) {
            for (const std::string& name : structures) {
                if (structure.name != name) continue;
                chosen[i].push_back(name);
                defined.insert(name);
            }
        }
    }
    for (const std::string& name : structures) {
        if (defined.count(name) == 0) return fail(name, "no input defines this structure");
    }

    // The temporary output, in OUT's folder so that the rename is one step.
    const fs::path outPath(output);
    const fs::path folder = outPath.has_parent_path() ? outPath.parent_path() : fs::path(".");
#if defined(_WIN32)
    const int pid = _getpid();
#else
    const int pid = static_cast<int>(getpid());
#endif
    const std::string temporary =
        (folder / ("." + outPath.filename().string() + ".quillon-merge-" + std::to_string(pid)))
            .string();
    if (temporary.size() >= sizeof temporaryPath) return fail(output, "path too long");
    std::strcpy(temporaryPath, temporary.c_str());
    Temporary removeOnExit;
    for (int signal : {SIGINT, SIGTERM
#if !defined(_WIN32)
                       , SIGHUP
#endif
         })
        std::signal(signal, removeAndStop);

    Collected collected;
    QuillonOptions options;
    quillon_default_options(&options);
    options.libraryName = libraryName != nullptr ? libraryName : output;
    options.compression = endsInGz(output) ? 1 : 0;
    options.onError = onError;
    options.userData = &collected;
    int status = 0;
    QuillonWriter* writer = quillon_open(temporaryPath, userUnits, meters, &options, &status);
    if (writer == nullptr)
        return fail(output, std::string("cannot create the output file beside it (") +
                                temporaryPath + ")");
    const auto giveUp = [&](const std::string& where, const std::string& why) {
        quillon_close(writer);
        return fail(where, why);
    };

    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool choosing = given[i].ownStructures || !structures.empty();
        if (choosing && chosen[i].empty()) continue;
        std::vector<const char*> names;
        for (const std::string& name : chosen[i]) names.push_back(name.c_str());
        names.push_back(nullptr);
        const std::string prefix = given[i].ownPrefix ? given[i].prefix
                                   : prefixEach       ? stemOf(inputs[i]) + "_"
                                                      : "";
        QuillonIncludeOptions include{};
        include.size = sizeof include;
        include.prefix = prefix.c_str();
        include.structures = choosing ? names.data() : nullptr;
        include.onClash = onClash;
        include.onStructure = onStructure;
        include.onFault = onFault;
        include.userData = &collected;
        collected.faultOffset = -1;
        collected.faultDetail.clear();
        if (quillon_include(writer, inputs[i], &include) != QUILLON_OK) {
            std::string why = quillon_last_error(writer);
            if (!collected.faultDetail.empty()) why = collected.faultDetail + " (" + why + ")";
            if (collected.faultOffset >= 0 &&
                collected.faultDetail.find("byte offset") == std::string::npos)
                why = "byte offset " + std::to_string(collected.faultOffset) + ": " + why;
            return giveUp(inputs[i], why);
        }
    }
    if (top != nullptr) {
        if (quillon_begin_structure(writer, top) != QUILLON_OK)
            return giveUp(output, std::string("--top ") + top + ": " + quillon_last_error(writer));
        for (const std::string& name : collected.tops) {
            if (quillon_sref(writer, name.c_str(), 0, 0, 0, 1.0, 0.0, 0, 0) != QUILLON_OK)
                return giveUp(output, quillon_last_error(writer));
        }
        quillon_end_structure(writer);
    }
    status = quillon_close(writer);
    if (status != QUILLON_OK && status != QUILLON_WARNING_UNDEFINED_STRUCTURE)
        return fail(output, "cannot write the output file");
    if (status == QUILLON_WARNING_UNDEFINED_STRUCTURE)
        std::cerr << "quillon-merge: " << output << ": warning: " << collected.warning
                  << " (a reference names a structure no input defines)\n";

    // Complete: OUT becomes the merge (keeping an existing OUT's
    // permissions), in one rename.
    std::error_code error;
    if (fs::exists(outPath, error))
        fs::permissions(temporary, fs::status(outPath, error).permissions(), error);
    fs::rename(temporary, outPath, error);
    if (error) return fail(output, "cannot rename " + temporary + " to it: " + error.message());
    temporaryPath[0] = 0;
    return 0;
}
