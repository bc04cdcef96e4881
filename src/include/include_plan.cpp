#include "include_plan.h"

#include <cmath>
#include <cstdio>

#include "core/encoders.h"
#include "core/messages.h"
#include "reader/gds_records.h"
#include "structure_copy.h"

namespace quillon::include {

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

std::optional<Refusal> IncludePlan::Check::take(const rd::Record& record) {
    if (const auto error = checker.check(record))
        return Refusal{messages::includedFileInvalid, static_cast<long long>(error->offset),
                       rd::describe(*error)};
    // The digests of skip-identical: each structure's records, STRNAME to
    // ENDSTR, in the units they are written in.
    if (plan.onClash == QUILLON_CLASH_SKIP_IDENTICAL) {
        if (record.type == rd::STRNAME) {
            plan.digests.emplace_back(static_cast<std::uint64_t>(plan.ratio));
            inStructure = true;
        }
        if (inStructure) plan.digests.back().add(record.bytes(), record.length);
        if (record.type == rd::ENDSTR) inStructure = false;
    }
    if (record.type == rd::UNITS) {
        const UnitRatio units = unitRatio(record.data + 8, libraryMeters);
        if (units.k == 0) {
            char detail[200];
            std::snprintf(detail, sizeof detail,
                          "database unit of %#.17g m against the library's %#.17g m: the ratio "
                          "%#.17g is not a whole number",
                          rd::real8Value(record.data + 8), libraryMeters, units.ratio);
            return Refusal{messages::includedUnitsDiffer, static_cast<long long>(record.offset),
                           detail};
        }
        plan.ratio = units.k;
    } else if (plan.ratio > 1 && isScaled(record.type) && !scaledValuesFit(record, plan.ratio)) {
        return Refusal{messages::includedUnitsDiffer, static_cast<long long>(record.offset),
                       rd::recordName(record.type) + " value scaled by " +
                           std::to_string(plan.ratio) + " does not fit 32 bits"};
    }
    return std::nullopt;
}

std::optional<Refusal> IncludePlan::Check::finish(const rd::RecordReader& reader) {
    if (const auto& error = reader.error())
        return Refusal{messages::includedFileInvalid, static_cast<long long>(error->offset),
                       rd::describe(*error)};
    plan.structures = checker.structures();
    return std::nullopt;
}

std::optional<Refusal> IncludePlan::choose(const char* const* names) {
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!index.emplace(structures[i].name, i).second)
            return Refusal{messages::duplicateStructureName, -1,
                           "structure " + quoted(structures[i].name) +
                               " is defined twice in the included file"};
    }
    selected.assign(structures.size(), names == nullptr ? 1 : 0);
    reused.assign(structures.size(), 0);
    if (names != nullptr) {
        std::vector<std::size_t> pending;
        for (const char* const* name = names; *name != nullptr; ++name) {
            const auto found = index.find(*name);
            if (found == index.end())
                return Refusal{messages::includedStructureMissing, -1,
                               "the included file has no structure " + quoted(*name)};
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
    if (!cycle.empty())
        return Refusal{messages::includedFileInvalid, -1,
                       "the structures " + cycle + " reference each other in a cycle"};
    return std::nullopt;
}

StructureDigest IncludePlan::writtenDigest(std::size_t i) const {
    StructureDigest digest = digests[i];
    digest.add(prefix);
    for (const std::string& target : structures[i].references)
        digest.add(target + (index.count(target) != 0 ? "+" : "-"));
    return digest;
}

std::optional<Refusal> IncludePlan::name(
    const std::function<bool(const std::string&)>& taken,
    const std::unordered_map<std::string, StructureDigest>& earlier) {
    written.assign(structures.size(), "");
    std::unordered_map<std::string, std::size_t> planned;  // written name -> structure
    for (std::size_t i = 0; i < structures.size(); ++i) {
        written[i] = prefix + structures[i].name;
        if (selected[i]) planned.emplace(written[i], i);
    }
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!selected[i] || !taken(written[i])) continue;
        if (onClash == QUILLON_CLASH_SKIP_IDENTICAL) {
            const auto there = earlier.find(written[i]);
            if (there != earlier.end() && there->second == writtenDigest(i)) {
                selected[i] = 0;
                reused[i] = 1;
                continue;
            }
        } else if (onClash == QUILLON_CLASH_RENAME) {
            const std::string base = written[i];
            for (long k = 1;; ++k) {
                written[i] = base + "_" + std::to_string(k);
                if (!taken(written[i]) && planned.count(written[i]) == 0) break;
            }
            planned.emplace(written[i], i);
            continue;
        }
        return Refusal{messages::duplicateStructureName, -1,
                       "structure " + quoted(written[i]) + " is already in the library" +
                           (onClash == QUILLON_CLASH_SKIP_IDENTICAL ? " with other records" : "")};
    }
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (written[i] != structures[i].name) renamed.emplace(structures[i].name, written[i]);
        if (selected[i] && !fitsStringRecord(written[i].c_str()))
            return Refusal{messages::structureNameTooLong, -1,
                           "structure " + quoted(written[i]) + " is too long for STRNAME"};
    }
    return std::nullopt;
}

}  // namespace quillon::include
