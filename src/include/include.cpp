// GDS_Include: the structures of another GDSII file copied into the library
// being written, record by record.
//
// The file is opened once. It is checked whole before anything of it is
// kept: its framing, the order of its records, its units against the
// library's, every value that a change of units scales, the reference
// graph of what comes in, and every name it brings against the names the
// library has. When it comes in unchanged (all structures, no prefix, the
// same units) into a plain output file, the copy is made during the check,
// straight to the file, and a fault cuts the file back to where it stood:
// one pass. Otherwise the same open file is rewound once the check is done
// and copied, renaming and scaling as it goes, through the same copy path
// (structure_copy.h). Either way a fault of any kind leaves the output as
// it was, registers no name and calls onStructure for none. Both passes
// stream through the reader's fixed buffer; what the check keeps is one
// name per structure and the names each references.
#include <cmath>
#include <cstdio>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "include_output.h"
#include "reader/gds_records.h"
#include "reader/library_check.h"
#include "reader/record_reader.h"
#include "structure_copy.h"
#include "structure_digest.h"

namespace quillon {

namespace rd = quillon::reader;

namespace {

// The 56-bit fraction and the power of two of a positive GDSII 8-byte
// real: value = fraction * 2^exponent, exactly.
bool decodeReal8(const std::uint8_t* p, std::uint64_t& fraction, int& exponent) {
    fraction = 0;
    for (int i = 1; i < 8; ++i) fraction = (fraction << 8) | p[i];
    exponent = 4 * ((p[0] & 0x7F) - 64) - 56;
    return (p[0] & 0x80) == 0 && fraction != 0;
}

// How far the ratio of two units may lie from a whole number and still be
// taken for it, in units in the last place of a double: see "Units" at
// quillon_include in quillon.h.
constexpr double unitUlps = 8;

struct UnitRatio {
    double ratio = 0;   // the file's unit over the library's, 0 when either is not positive
    std::int64_t k = 0;  // the whole number it stands for, 0 when none
};

UnitRatio unitRatio(const std::uint8_t* fileMeters, double libraryMeters) {
    UnitRatio result;
    const Bytes8 library = toReal8(libraryMeters);
    std::uint64_t f = 0, l = 0;
    int fe = 0, le = 0;
    if (!decodeReal8(fileMeters, f, fe) || !decodeReal8(library.data(), l, le)) return result;
    // Each fraction rounds to a double within half an ulp, and so does
    // their quotient: the ratio is within 1.5 ulps of the exact one.
    result.ratio = std::ldexp(static_cast<double>(f) / static_cast<double>(l), fe - le);
    const double k = std::nearbyint(result.ratio);
    if (k >= 1 && k <= 2147483647.0 &&
        std::fabs(result.ratio - k) <= unitUlps * k * std::ldexp(1.0, -52))
        result.k = static_cast<std::int64_t>(k);
    return result;
}

bool scaledValuesFit(const rd::Record& record, std::int64_t ratio) {
    for (std::size_t i = 0; i < record.dataLength / 4; ++i) {
        const std::int64_t value = std::int64_t{record.int4(i)} * ratio;
        if (value < INT32_MIN || value > INT32_MAX) return false;
    }
    return true;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// A reference cycle among the chosen structures ("\"A\" -> \"B\" ->
// \"A\""), or "" when they form none. Depth first, without recursion.
std::string findCycle(const std::vector<rd::StructureInfo>& structures,
                      const std::unordered_map<std::string, std::size_t>& index,
                      const std::vector<char>& selected) {
    enum : char { unseen, open, done };
    std::vector<char> state(structures.size(), unseen);
    std::vector<std::pair<std::size_t, std::size_t>> path;  // structure, next reference
    for (std::size_t root = 0; root < structures.size(); ++root) {
        if (!selected[root] || state[root] != unseen) continue;
        path.emplace_back(root, 0);
        state[root] = open;
        while (!path.empty()) {
            auto& [at, next] = path.back();
            const std::vector<std::string>& refs = structures[at].references;
            if (next == refs.size()) {
                state[at] = done;
                path.pop_back();
                continue;
            }
            const auto found = index.find(refs[next++]);
            if (found == index.end()) continue;
            const std::size_t to = found->second;
            if (state[to] == open) {
                std::string cycle;
                std::size_t i = 0;
                while (path[i].first != to) ++i;
                for (; i < path.size(); ++i) cycle += quoted(structures[path[i].first].name) + " -> ";
                return cycle + quoted(structures[to].name);
            }
            if (state[to] == unseen) {
                state[to] = open;
                path.emplace_back(to, 0);
            }
        }
    }
    return "";
}

}  // namespace

bool GDSIIWriter::refuseInclude(const QuillonIncludeOptions& options, const char* message,
                                long long offset, const std::string& detail) {
    if (options.onFault != nullptr) {
        ReportGuard during(handlingReport);
        options.onFault(options.userData, offset, detail.c_str());
    }
    report(message);
    return false;
}

void GDSIIWriter::include(const char* fileName, const QuillonIncludeOptions& options) {
    if (!file.exportRunning()) {
        report(messages::processStopped);
        return;
    }
    if (file.structureOpen()) {
        report(messages::structureNotClosed);
        return;
    }
    if (fileName == nullptr) {
        refuseInclude(options, messages::fileNameNull, -1, "the file name is NULL");
        return;
    }
    const std::string prefix = options.prefix != nullptr ? options.prefix : "";
    const int onClash = options.onClash;
    if (onClash != QUILLON_CLASH_ERROR && onClash != QUILLON_CLASH_SKIP_IDENTICAL &&
        onClash != QUILLON_CLASH_RENAME) {
        refuseInclude(options, messages::valueOutOfRange, -1,
                      "onClash " + std::to_string(onClash) + " is none of the clash policies");
        return;
    }

    rd::FileSource source;
    if (!source.open(fileName)) {
        refuseInclude(options, messages::cannotOpenFile, -1, std::string("cannot open ") + fileName);
        return;
    }
    // Reading the output while it grows would never end.
    if (source.identity().sameAs(file.identity())) {
        refuseInclude(options, messages::includedIsOutput, -1,
                      std::string(fileName) + " is the file being written");
        return;
    }

    // A plain output file takes the copy on its descriptor, cut back on a
    // fault; everything the stream holds goes to the file first.
    out.drain();
    include::FileOutput direct;
    const bool cutsBack = direct.start(file.plainDescriptor());
    include::SinkOutput sink(out);
    include::CopyOutput& target = cutsBack ? static_cast<include::CopyOutput&>(direct) : sink;

    // All structures under their own names into a plain file: copied while
    // checked, unless the units turn out to differ.
    const bool onePass = cutsBack && prefix.empty() && options.structures == nullptr &&
                         onClash == QUILLON_CLASH_ERROR;
    const auto refuseSecondPass = [&] {
        return refuseInclude(options, messages::includedNotRewindable, -1,
                             std::string(fileName) +
                                 " is not a regular file, and this include reads it twice");
    };
    if (!onePass && !source.seekable()) {
        refuseSecondPass();
        return;
    }

    // --- The check (and the one-pass copy) --------------------------------
    std::optional<rd::RecordReader> reader;
    reader.emplace(source);
    const include::CopyOptions everything;
    std::optional<include::StructureCopy> copyNow;
    if (onePass) copyNow.emplace(everything, target, *reader);
    rd::LibraryChecker checker;
    std::int64_t ratio = 0;
    // The digest of each structure's records, STRNAME to ENDSTR, for the
    // skip-identical policy.
    const bool digesting = onClash == QUILLON_CLASH_SKIP_IDENTICAL;
    std::vector<include::StructureDigest> digests;
    bool inStructure = false;
    rd::Record record;
    while (reader->next(record)) {
        if (const auto error = checker.check(record)) {
            refuseInclude(options, messages::includedFileInvalid,
                          static_cast<long long>(error->offset), rd::describe(*error));
            return;
        }
        if (digesting) {
            if (record.type == rd::STRNAME) {
                digests.emplace_back(static_cast<std::uint64_t>(ratio));
                inStructure = true;
            }
            if (inStructure) digests.back().add(record.bytes(), record.length);
            if (record.type == rd::ENDSTR) inStructure = false;
        }
        if (record.type == rd::UNITS) {
            const UnitRatio units = unitRatio(record.data + 8, libraryMeters);
            if (units.k == 0) {
                char detail[200];
                std::snprintf(detail, sizeof detail,
                              "database unit of %#.17g m against the library's %#.17g m: the "
                              "ratio %#.17g is not a whole number",
                              rd::real8Value(record.data + 8), libraryMeters, units.ratio);
                refuseInclude(options, messages::includedUnitsDiffer,
                              static_cast<long long>(record.offset), detail);
                return;
            }
            ratio = units.k;
            // Scaled records are rewritten in the second pass (nothing is
            // copied before the first structure).
            if (ratio != 1 && copyNow) {
                copyNow.reset();
                reader->setSpill(nullptr);
                if (!source.seekable()) {
                    refuseSecondPass();
                    return;
                }
            }
        } else if (ratio > 1 && include::isScaled(record.type) &&
                   !scaledValuesFit(record, ratio)) {
            refuseInclude(options, messages::includedUnitsDiffer,
                          static_cast<long long>(record.offset),
                          rd::recordName(record.type) + " value scaled by " +
                              std::to_string(ratio) + " does not fit 32 bits");
            return;
        }
        if (copyNow) copyNow->take(record);
    }
    if (const auto& error = reader->error()) {
        refuseInclude(options, messages::includedFileInvalid,
                      static_cast<long long>(error->offset), rd::describe(*error));
        return;
    }
    if (copyNow) copyNow->finish();

    // Which structures come in: all, or the requested ones and everything
    // they reference that the file defines.
    const std::vector<rd::StructureInfo>& structures = checker.structures();
    std::unordered_map<std::string, std::size_t> index;
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!index.emplace(structures[i].name, i).second) {
            refuseInclude(options, messages::duplicateStructureName, -1,
                          "structure " + quoted(structures[i].name) +
                              " is defined twice in the included file");
            return;
        }
    }
    std::vector<char> selected(structures.size(), options.structures == nullptr ? 1 : 0);
    if (options.structures != nullptr) {
        std::vector<std::size_t> pending;
        for (const char* const* name = options.structures; *name != nullptr; ++name) {
            const auto found = index.find(*name);
            if (found == index.end()) {
                refuseInclude(options, messages::includedStructureMissing, -1,
                              "the included file has no structure " + quoted(*name));
                return;
            }
            pending.push_back(found->second);
        }
        while (!pending.empty()) {
            const std::size_t i = pending.back();
            pending.pop_back();
            if (selected[i]) continue;
            selected[i] = 1;
            for (const std::string& target : structures[i].references) {
                const auto found = index.find(target);
                if (found != index.end() && !selected[found->second]) pending.push_back(found->second);
            }
        }
    }
    // No reader can order the cells of a cycle.
    const std::string cycle = findCycle(structures, index, selected);
    if (!cycle.empty()) {
        refuseInclude(options, messages::includedFileInvalid, -1,
                      "the structures " + cycle + " reference each other in a cycle");
        return;
    }

    // The names written: prefix + name, or past a clash what the policy
    // makes of it. A structure reused (skip-identical) is not written.
    std::vector<std::string> written(structures.size());
    std::unordered_map<std::string, std::size_t> planned;  // written name -> structure
    for (std::size_t i = 0; i < structures.size(); ++i) {
        written[i] = prefix + structures[i].name;
        if (selected[i]) planned.emplace(written[i], i);
    }
    std::vector<char> reused(structures.size(), 0);
    // The written bytes depend on the file's bytes and on which references
    // the prefix renames.
    const auto writtenDigest = [&](std::size_t i) {
        include::StructureDigest digest = digests[i];
        digest.add(prefix);
        for (const std::string& target : structures[i].references)
            digest.add(target + (index.count(target) != 0 ? "+" : "-"));
        return digest;
    };
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!selected[i] || !file.nameTaken(written[i])) continue;
        if (onClash == QUILLON_CLASH_SKIP_IDENTICAL) {
            const auto earlier = includedDigests.find(written[i]);
            if (earlier != includedDigests.end() && earlier->second == writtenDigest(i)) {
                selected[i] = 0;
                reused[i] = 1;
                continue;
            }
        } else if (onClash == QUILLON_CLASH_RENAME) {
            const std::string base = written[i];
            for (long k = 1;; ++k) {
                written[i] = base + "_" + std::to_string(k);
                if (!file.nameTaken(written[i]) && planned.count(written[i]) == 0) break;
            }
            planned.emplace(written[i], i);
            continue;
        }
        refuseInclude(options, messages::duplicateStructureName, -1,
                      "structure " + quoted(written[i]) + " is already in the library" +
                          (onClash == QUILLON_CLASH_SKIP_IDENTICAL ? " with other records" : ""));
        return;
    }
    std::unordered_map<std::string, std::string> renamed;
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (written[i] != structures[i].name) renamed.emplace(structures[i].name, written[i]);
        if (selected[i] && !fitsStringRecord(written[i].c_str())) {
            refuseInclude(options, messages::structureNameTooLong, -1,
                          "structure " + quoted(written[i]) + " is too long for STRNAME");
            return;
        }
    }

    // --- The second pass: the same open file, from its start --------------
    if (!copyNow) {
        reader.reset();
        const auto changed = [&](const std::string& why) {
            // Into a sink that cannot be cut back, the output is lost.
            if (!cutsBack) file.markFailed();
            return refuseInclude(options,
                                 cutsBack ? messages::includedFileInvalid : messages::cannotWriteFile,
                                 -1, "the included file changed while it was copied: " + why);
        };
        if (!source.rewind()) {
            refuseInclude(options, messages::includedNotRewindable, -1,
                          std::string(fileName) + " could not be read again from its start");
            return;
        }
        rd::RecordReader again(source);
        include::CopyOptions chosen;
        chosen.renamed = renamed.empty() ? nullptr : &renamed;
        chosen.ratio = ratio;
        chosen.selected = &selected;
        chosen.expected = &structures;
        include::StructureCopy copy(chosen, target, again);
        bool same = true;
        while (same && again.next(record)) same = copy.take(record);
        if (const auto& error = again.error()) {
            changed(rd::describe(*error));
            return;
        }
        if (!same || !copy.finish()) {
            changed("its structures are not those it was checked with");
            return;
        }
    }
    if (cutsBack && !direct.commit()) {
        report(messages::cannotWriteFile);
        return;
    }

    // --- Taken: the names join the library's --------------------------------
    // A structure is a top one when no other included structure refers to it.
    const auto comesIn = [&](std::size_t i) { return selected[i] || reused[i]; };
    std::vector<char> referenced(structures.size(), 0);
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!comesIn(i)) continue;
        for (const std::string& target : structures[i].references) {
            const auto found = index.find(target);
            if (found != index.end() && found->second != i) referenced[found->second] = 1;
        }
    }
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!selected[i]) continue;
        file.registerName(written[i].c_str(), written[i].size());
        if (digesting) includedDigests[written[i]] = writtenDigest(i);
        // Its references join the library's, under the names written: one
        // to a structure the file lacks is checked when the library ends.
        for (const std::string& target : structures[i].references) {
            const auto found = renamed.find(target);
            const std::string& name = found != renamed.end() ? found->second : target;
            noteReference(name.c_str(), name.size());
        }
    }
    if (options.onStructure != nullptr) {
        ReportGuard during(handlingReport);
        for (std::size_t i = 0; i < structures.size(); ++i) {
            if (comesIn(i))
                options.onStructure(options.userData, written[i].c_str(), referenced[i] ? 0 : 1);
        }
    }
}

}  // namespace quillon
