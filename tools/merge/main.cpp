// quillon-merge: writes one GDSII library from the structures of several.
//
//   quillon-merge [options] OUT IN...
//     --prefix-each         rename each input's structures STEM_NAME, STEM
//                           being the input's file name without directory
//                           and .gds/.gds.gz (references follow)
//     --structures A,B,...  take only these structures, with everything they
//                           reference, from each input that defines any of
//                           them; a name no input defines is an error
//     --library-name NAME   LIBNAME of the output (default: OUT as given)
//     --top NAME            add a structure NAME that references every top
//                           structure of the inputs, at the origin
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
// byte offset and the reason and exits 1 (2 for a usage error).
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
#include "library_check.h"
#include "quillon.h"
#include "record_reader.h"

namespace {

namespace rd = quillon::reader;
namespace fs = std::filesystem;

const char* const usageText =
    "usage: quillon-merge [--prefix-each] [--structures A,B,...] [--library-name NAME]\n"
    "                     [--top NAME] OUT.gds[.gz] IN.gds[.gz]...\n";

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

// Reads the outline of path (its units, and its structures when wanted);
// false, with the reason in why, when it cannot.
bool outline(const char* path, rd::LibraryOutline& found, bool unitsOnly, std::string& why) {
    rd::FileSource source;
    if (!source.open(path)) {
        why = "cannot open file";
        return false;
    }
    if (const auto error = rd::outlineLibrary(source, found, unitsOnly)) {
        why = error->inSource ? error->message : rd::describe(*error);
        return false;
    }
    return true;
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
    std::vector<const char*> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--prefix-each") {
            prefixEach = true;
        } else if (arg == "--structures" && hasValue) {
            std::string list = argv[++i];
            for (std::size_t at = 0; at <= list.size();) {
                const std::size_t comma = std::min(list.find(',', at), list.size());
                if (comma > at) structures.push_back(list.substr(at, comma - at));
                at = comma + 1;
            }
            if (structures.empty()) return usage();
        } else if (arg == "--library-name" && hasValue) {
            libraryName = argv[++i];
        } else if (arg == "--top" && hasValue) {
            top = argv[++i];
        } else if (arg == "--help" || arg == "-h") {
            std::cout << usageText;
            return 0;
        } else if (!arg.empty() && arg[0] != '-') {
            files.push_back(argv[i]);
        } else {
            return usage();
        }
    }
    if (files.size() < 2) return usage();
    const char* output = files.front();
    const std::vector<const char*> inputs(files.begin() + 1, files.end());

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
        rd::LibraryOutline found;
        std::string why;
        if (!outline(inputs[i], found, structures.empty(), why)) return fail(inputs[i], why);
        if (meters == 0 || found.meters < meters) {
            userUnits = found.userUnits;
            meters = found.meters;
        }
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
        if (!structures.empty() && chosen[i].empty()) continue;
        std::vector<const char*> names;
        for (const std::string& name : chosen[i]) names.push_back(name.c_str());
        names.push_back(nullptr);
        const std::string prefix = prefixEach ? stemOf(inputs[i]) + "_" : "";
        QuillonIncludeOptions include{};
        include.size = sizeof include;
        include.prefix = prefix.c_str();
        include.structures = structures.empty() ? nullptr : names.data();
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
