// What one include finds in its file and decides before anything of it is
// kept: the check of every record (with the units and the digests the
// clash policy needs), the structures that come in, and the name each is
// written under. Nothing here touches the output; a refusal says what the
// include reports.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "quillon.h"
#include "reader/library_check.h"
#include "reader/record_reader.h"
#include "structure_digest.h"

namespace quillon::include {

// Why an include is refused: the message reported, and for the fault
// callback the byte offset (-1 for none) and the detail.
struct Refusal {
    const char* message;
    long long offset;
    std::string detail;
};

// The file's unit over the library's: ratio, and k, the whole number it
// stands for (0 when none; see "Units" at quillon_include in quillon.h).
struct UnitRatio {
    double ratio = 0;
    std::int64_t k = 0;
};
UnitRatio unitRatio(const std::uint8_t* fileMeters, double libraryMeters);

struct IncludePlan {
    std::string prefix;
    int onClash = QUILLON_CLASH_ERROR;
    std::int64_t ratio = 0;  // 0 until UNITS is checked
    std::vector<reader::StructureInfo> structures;  // in file order
    std::vector<StructureDigest> digests;           // per structure, skip-identical only
    std::unordered_map<std::string, std::size_t> index;  // name in the file -> structure
    std::vector<char> selected;  // written by this include
    std::vector<char> reused;    // an identical one is in the library already
    std::vector<std::string> written;  // the name in the library
    std::unordered_map<std::string, std::string> renamed;  // file name -> written, where they differ

    // The check of the file's records, in file order, up to the first
    // refusal; then structures holds what the file defines.
    class Check {
    public:
        Check(IncludePlan& plan, double libraryMeters) : plan(plan), libraryMeters(libraryMeters) {}
        std::optional<Refusal> take(const reader::Record& record);
        // After the last record: the reader's fault, if any.
        std::optional<Refusal> finish(const reader::RecordReader& reader);

    private:
        IncludePlan& plan;
        double libraryMeters;
        reader::LibraryChecker checker;
        bool inStructure = false;
    };

    // Every structure, or those named (NULL-terminated) and all they
    // reference; refuses a name twice in the file, a name it lacks and a
    // reference cycle among the chosen.
    std::optional<Refusal> choose(const char* const* names);
    // The name each chosen structure is written under, as the clash policy
    // makes of one the library has (taken); earlier: the digests of the
    // structures skip-identical includes brought in before.
    std::optional<Refusal> name(const std::function<bool(const std::string&)>& taken,
                                const std::unordered_map<std::string, StructureDigest>& earlier);
    // The digest of structure i as written: its records, and which of its
    // references the prefix renames.
    StructureDigest writtenDigest(std::size_t i) const;
    // Structure i is in the library after the include (written or reused).
    bool comesIn(std::size_t i) const { return selected[i] != 0 || reused[i] != 0; }
};

}  // namespace quillon::include
