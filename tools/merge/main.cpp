// quillon-merge: writes one GDSII library from the structures of several.
//
//   quillon-merge [options] OUT IN...
//     --prefix-each         rename each input's structures STEM_NAME, STEM
//                           being the input's file name without directory
//                           and .gds/.gds.gz (references follow)
//     --structures A,B,...  take only these structures of each input, with
//                           everything they reference
//     --library-name NAME   LIBNAME of the output (default: OUT as given)
//     --top NAME            add a structure NAME that references every top
//                           structure of the inputs, at the origin
//
// Each input (plain or gzip) is copied record by record through
// quillon_include, in constant memory; OUT is gzip when it ends in .gz. The
// output's database unit is the finest of the inputs'; the others must be
// whole multiples of it. On any fault the program names the input, the
// byte offset and the reason, removes the half-written output and exits 1
// (2 for a usage error).
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "byte_source.h"
#include "gds_records.h"
#include "quillon.h"
#include "record_reader.h"

namespace {

const char* const usageText =
    "usage: quillon-merge [--prefix-each] [--structures A,B,...] [--library-name NAME]\n"
    "                     [--top NAME] OUT.gds[.gz] IN.gds[.gz]...\n";

int usage() {
    std::cerr << usageText;
    return 2;
}

// The two REAL8 values of a file's UNITS, as doubles; false when the file
// cannot be read that far.
bool readUnits(const char* path, double& inUserUnits, double& inMeters, std::string& why) {
    quillon::reader::FileSource source;
    if (!source.open(path)) {
        why = "cannot open file";
        return false;
    }
    quillon::reader::RecordReader reader(source);
    quillon::reader::Record record;
    while (reader.next(record)) {
        if (record.type != quillon::reader::UNITS) continue;
        if (record.dataLength != 16) break;
        inUserUnits = record.real8(0);
        inMeters = record.real8(1);
        return inUserUnits > 0 && inMeters > 0;
    }
    why = reader.error() ? quillon::reader::describe(*reader.error()) : "no UNITS record";
    return false;
}

std::string stemOf(const std::string& path) {
    std::string name = path.substr(path.find_last_of("/\\") + 1);
    for (const char* suffix : {".gz", ".gds", ".GZ", ".GDS"}) {
        const std::size_t n = std::strlen(suffix);
        if (name.size() > n && name.compare(name.size() - n, n, suffix) == 0)
            name.resize(name.size() - n);
    }
    return name;
}

struct Collected {
    std::vector<std::string> tops;
    long long faultOffset = -1;
    std::string faultDetail;
};

void QUILLON_CALL onStructure(void* userData, const char* name, int top) {
    if (top) static_cast<Collected*>(userData)->tops.emplace_back(name);
}

void QUILLON_CALL onFault(void* userData, long long offset, const char* detail) {
    auto* collected = static_cast<Collected*>(userData);
    collected->faultOffset = offset;
    collected->faultDetail = detail;
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

    // The finest database unit of the inputs becomes the output's.
    double userUnits = 0, meters = 0;
    for (const char* input : inputs) {
        double u = 0, m = 0;
        std::string why;
        if (!readUnits(input, u, m, why)) {
            std::cerr << "quillon-merge: " << input << ": " << why << '\n';
            return 1;
        }
        if (meters == 0 || m < meters) {
            userUnits = u;
            meters = m;
        }
    }

    QuillonOptions options;
    quillon_default_options(&options);
    options.libraryName = libraryName;
    int status = 0;
    QuillonWriter* writer = quillon_open(output, userUnits, meters, &options, &status);
    if (writer == nullptr) {
        std::cerr << "quillon-merge: " << output << ": cannot create the output file\n";
        return 1;
    }
    const auto giveUp = [&](const std::string& where, const std::string& why) {
        quillon_close(writer);
        std::remove(output);
        std::cerr << "quillon-merge: " << where << ": " << why << '\n';
        return 1;
    };

    std::vector<const char*> names;
    for (const std::string& name : structures) names.push_back(name.c_str());
    names.push_back(nullptr);
    Collected collected;
    for (const char* input : inputs) {
        const std::string prefix = prefixEach ? stemOf(input) + "_" : "";
        QuillonIncludeOptions include{};
        include.size = sizeof include;
        include.prefix = prefix.c_str();
        include.structures = structures.empty() ? nullptr : names.data();
        include.onStructure = onStructure;
        include.onFault = onFault;
        include.userData = &collected;
        collected.faultOffset = -1;
        collected.faultDetail.clear();
        if (quillon_include(writer, input, &include) != QUILLON_OK) {
            std::string why = quillon_last_error(writer);
            if (!collected.faultDetail.empty()) why = collected.faultDetail + " (" + why + ")";
            if (collected.faultOffset >= 0 &&
                collected.faultDetail.find("byte offset") == std::string::npos)
                why = "byte offset " + std::to_string(collected.faultOffset) + ": " + why;
            return giveUp(input, why);
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
    if (quillon_close(writer) != QUILLON_OK) {
        std::remove(output);
        std::cerr << "quillon-merge: " << output << ": cannot write the output file\n";
        return 1;
    }
    return 0;
}
