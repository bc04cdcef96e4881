// Writing one library from the structures of existing files; see
// library_job.h.
#include "library_job.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
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

namespace quillon::tools {

namespace {

namespace rd = quillon::reader;
namespace fs = std::filesystem;

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

// Whether name ends in suffix (lower case), in any case.
bool endsIn(const std::string& name, const char* suffix) {
    const std::size_t n = std::strlen(suffix);
    if (name.size() < n) return false;
    for (std::size_t i = 0; i < n; ++i) {
        char c = name[name.size() - n + i];
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != suffix[i]) return false;
    }
    return true;
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

struct Collected {
    std::vector<std::string> tops;
    long long faultOffset = -1;
    std::string faultDetail;
    std::string warning;
    // What the element checks of an OASIS library reported, and how often:
    // an element without an OASIS form is skipped, the rest still written.
    std::vector<std::pair<std::string, long long>> skipped;
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
    auto* collected = static_cast<Collected*>(userData);
    if (status == QUILLON_WARNING_UNDEFINED_STRUCTURE) {
        collected->warning = message;
        return;
    }
    for (auto& seen : collected->skipped) {
        if (seen.first == message) {
            ++seen.second;
            return;
        }
    }
    collected->skipped.emplace_back(message, 1);
}

}  // namespace

int fail(const LibraryJob& job, const std::string& where, const std::string& why) {
    std::cerr << job.program << ": " << where << ": " << why << '\n';
    return 1;
}

int listCells(const LibraryJob& job, const char* path) {
    rd::LibraryScan found;
    std::string why;
    if (!scan(path, found, false, false, why)) return fail(job, path, why);
    rd::printCells(found, std::cout);
    return 0;
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

int writeLibrary(const LibraryJob& job) {
    const char* output = job.output.c_str();
    const std::vector<std::string>& structures = job.structures;
    const std::vector<Input>& given = job.inputs;
    std::vector<const char*> inputs;
    for (const Input& input : given) inputs.push_back(input.path.c_str());
    const auto fail = [&](const std::string& where, const std::string& why) {
        return tools::fail(job, where, why);
    };

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
    // A finer unit asked for: the user unit stays the inputs', and each
    // input must be a whole multiple of it (the include checks that).
    if (job.unitMeters > 0) {
        userUnits *= job.unitMeters / meters;
        meters = job.unitMeters;
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
        (folder / ("." + outPath.filename().string() + "." + job.program + "-" + std::to_string(pid)))
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
    options.libraryName = job.libraryName != nullptr ? job.libraryName : output;
    // The temporary file's name has not OUT's suffix: the format and the
    // compression are set here by OUT's.
    const bool oasis = endsIn(job.output, ".oas");
    options.format = oasis ? QUILLON_FORMAT_OASIS : QUILLON_FORMAT_GDSII;
    options.compression = job.compression >= 0 ? job.compression
                          : oasis              ? -1
                          : endsIn(job.output, ".gz") ? 1
                                                      : 0;
    options.onError = onError;
    // Lenient: an element without an OASIS form is skipped and reported,
    // not the end of the include.
    options.strict = oasis ? 0 : options.strict;
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
                                   : job.prefixEach   ? stemOf(inputs[i]) + "_"
                                                      : "";
        QuillonIncludeOptions include{};
        include.size = sizeof include;
        include.prefix = prefix.c_str();
        include.structures = choosing ? names.data() : nullptr;
        include.onClash = job.onClash;
        include.onStructure = onStructure;
        include.onFault = onFault;
        include.userData = &collected;
        collected.faultOffset = -1;
        collected.faultDetail.clear();
        collected.skipped.clear();
        const int included = quillon_include(writer, inputs[i], &include);
        // Into OASIS, the elements are written by the element calls; what
        // they refuse (lenient: skipped) leaves the rest of the include
        // standing. A fault of the include itself, or of the output, ends
        // the run.
        const bool elementsOnly = oasis && included != QUILLON_OK && collected.faultOffset < 0 &&
                                  collected.faultDetail.empty() &&
                                  included != QUILLON_ERROR_IO && included != QUILLON_ERROR_MEMORY;
        if (elementsOnly) {
            for (const auto& seen : collected.skipped) {
                if (!job.quiet)
                    std::cerr << job.program << ": " << inputs[i] << ": warning: " << seen.first
                              << " (" << seen.second << " element" << (seen.second == 1 ? "" : "s")
                              << " not written)\n";
            }
        } else if (included != QUILLON_OK) {
            std::string why = quillon_last_error(writer);
            if (!collected.faultDetail.empty()) why = collected.faultDetail + " (" + why + ")";
            if (collected.faultOffset >= 0 &&
                collected.faultDetail.find("byte offset") == std::string::npos)
                why = "byte offset " + std::to_string(collected.faultOffset) + ": " + why;
            return giveUp(inputs[i], why);
        }
    }
    if (const char* top = job.top) {
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
    if (status == QUILLON_WARNING_UNDEFINED_STRUCTURE && !job.quiet)
        std::cerr << job.program << ": " << output << ": warning: " << collected.warning
                  << " (a reference names a structure no input defines)\n";

    // Complete: OUT becomes the library (keeping an existing OUT's
    // permissions), in one rename.
    std::error_code error;
    if (fs::exists(outPath, error))
        fs::permissions(temporary, fs::status(outPath, error).permissions(), error);
    fs::rename(temporary, outPath, error);
    if (error) return fail(output, "cannot rename " + temporary + " to it: " + error.message());
    temporaryPath[0] = 0;
    return 0;
}

}  // namespace quillon::tools
