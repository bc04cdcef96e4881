// GDS_Include: the structures of another GDSII file copied into the library
// being written, record by record.
//
// The file is checked whole before anything of it is kept: its framing, the
// order of its records, its units against the library's, every value that
// a change of units scales, and every name it brings against the names the
// library has. When it comes in unchanged (all structures, no prefix, same
// units) into a plain output file, the bytes the check has passed go to
// the file directly, and a fault cuts the file back to where it stood: one
// pass. Otherwise a second pass reads the file again once the check is done
// and copies it, renaming and scaling as it goes. Either way a fault of any
// kind leaves the output as it was and registers no name, whatever the
// writer's mode. Both passes stream through the reader's fixed buffer;
// what the check keeps is one name per structure and the names each
// references.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"
#include "reader/gds_records.h"
#include "reader/library_check.h"
#include "reader/record_reader.h"

namespace quillon {

namespace rd = quillon::reader;

namespace {

// How many of the library's database units make one of the file's: 1 when
// the two metre values are the same REAL8, k when the file's is exactly k
// times the library's, 0 otherwise (see quillon_include in quillon.h).
std::int64_t unitRatio(const std::uint8_t* fileMeters, double libraryMeters) {
    const Bytes8 library = toReal8(libraryMeters);
    if (std::memcmp(library.data(), fileMeters, 8) == 0) return 1;
    const double file = rd::real8Value(fileMeters);
    if (!(file > 0) || !(libraryMeters > 0)) return 0;
    const double ratio = std::nearbyint(file / libraryMeters);
    if (!(ratio >= 2) || ratio > 2147483647.0) return 0;
    const Bytes8 multiple = toReal8(ratio * libraryMeters);
    if (std::memcmp(multiple.data(), fileMeters, 8) != 0) return 0;
    return static_cast<std::int64_t>(ratio);
}

// The records whose INT4 values are lengths in database units.
bool isScaled(unsigned type) {
    return type == rd::XY || type == rd::WIDTH || type == rd::BGNEXTN || type == rd::ENDEXTN;
}

bool scaledValuesFit(const rd::Record& record, std::int64_t ratio) {
    for (std::size_t i = 0; i < record.dataLength / 4; ++i) {
        const std::int64_t value = std::int64_t{record.int4(i)} * ratio;
        if (value < INT32_MIN || value > INT32_MAX) return false;
    }
    return true;
}

std::string quoted(const std::string& name) { return "\"" + name + "\""; }

// The output file's descriptor while an include writes to it directly: it
// remembers where the file ended, and unless commit() is reached, cuts the
// file back there and puts the descriptor's position back, whatever way
// the include ends (a report that throws included).
class DirectCopy {
public:
    DirectCopy() = default;
    DirectCopy(const DirectCopy&) = delete;
    DirectCopy& operator=(const DirectCopy&) = delete;
    ~DirectCopy() { stop(); }

    void start(int descriptor) {
#if !defined(_WIN32)
        if (descriptor < 0) return;
        const off_t at = ::lseek(descriptor, 0, SEEK_CUR);
        if (at < 0) return;
        fd = descriptor;
        before = at;
#else
        (void)descriptor;
#endif
    }
    bool active() const { return fd >= 0; }

    void write(const std::uint8_t* bytes, std::size_t n) {
#if !defined(_WIN32)
        while (n > 0 && !failed) {
            const ssize_t written = ::write(fd, bytes, n);
            if (written <= 0) {
                failed = true;
                break;
            }
            bytes += written;
            n -= static_cast<std::size_t>(written);
        }
#else
        (void)bytes;
        (void)n;
#endif
    }

    // Keeps what was written; false (and cut off) when a write failed.
    bool commit() {
        if (failed) {
            stop();
            return false;
        }
        kept = true;
        return true;
    }

    // Cuts the file back unless committed; no more direct writes.
    void stop() {
#if !defined(_WIN32)
        if (fd >= 0 && !kept) {
            if (::ftruncate(fd, static_cast<off_t>(before)) == 0)
                ::lseek(fd, static_cast<off_t>(before), SEEK_SET);
        }
#endif
        if (!kept) fd = -1;
    }

private:
    int fd = -1;
    std::int64_t before = 0;
    bool failed = false;
    bool kept = false;
};

}  // namespace

bool GDSIIWriter::refuseInclude(const QuillonIncludeOptions& options, const char* message,
                                long long offset, const std::string& detail) {
    if (options.onFault != nullptr) options.onFault(options.userData, offset, detail.c_str());
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
    // The include copies GDSII records, which an OASIS file cannot hold.
    if (oasis) {
        report(messages::includeNoOasisForm);
        return;
    }
    const std::string prefix = options.prefix != nullptr ? options.prefix : "";

    // --- First pass: check everything -----------------------------------
    rd::FileSource source;
    if (!source.open(fileName)) {
        refuseInclude(options, messages::cannotOpenFile, -1,
                      std::string("cannot open ") + (fileName ? fileName : "(NULL)"));
        return;
    }
    std::optional<rd::RecordReader> reader;
    reader.emplace(source);

    // All structures under their own names into a plain output file: the
    // bytes the check has passed go straight to the file, and a fault cuts
    // the file back to where it stood (see quillon_include in quillon.h).
    DirectCopy direct;
    if (prefix.empty() && options.structures == nullptr) {
        out.drain();
        direct.start(file.plainDescriptor());
    }
    std::uint64_t copyBegin = UINT64_MAX, copyEnd = UINT64_MAX;
    if (direct.active()) {
        reader->setSpill([&](std::uint64_t at, const std::uint8_t* bytes, std::size_t n) {
            const std::uint64_t from = std::max(at, copyBegin);
            const std::uint64_t to = std::min(at + n, copyEnd);
            if (from < to) direct.write(bytes + (from - at), static_cast<std::size_t>(to - from));
        });
    }
    rd::LibraryChecker checker;
    std::int64_t ratio = 0;
    rd::Record record;
    while (reader->next(record)) {
        if (record.type == rd::BGNSTR && copyBegin == UINT64_MAX) copyBegin = record.offset;
        if (record.type == rd::ENDLIB) copyEnd = record.offset;
        if (const auto error = checker.check(record)) {
            refuseInclude(options, messages::includedFileInvalid,
                          static_cast<long long>(error->offset), rd::describe(*error));
            return;
        }
        if (record.type == rd::UNITS) {
            ratio = unitRatio(record.data + 8, libraryMeters);
            if (ratio == 0) {
                char detail[128];
                std::snprintf(detail, sizeof detail,
                              "database unit of %.17g m, not the library's %.17g m nor a whole "
                              "multiple of it",
                              rd::real8Value(record.data + 8), libraryMeters);
                refuseInclude(options, messages::includedUnitsDiffer,
                              static_cast<long long>(record.offset), detail);
                return;
            }
            // Scaled records are rewritten: they take the second pass.
            if (ratio != 1) {
                reader->setSpill(nullptr);
                direct.stop();
            }
        } else if (ratio > 1 && isScaled(record.type) && !scaledValuesFit(record, ratio)) {
            refuseInclude(options, messages::includedUnitsDiffer,
                          static_cast<long long>(record.offset),
                          rd::recordName(record.type) + " value scaled by " +
                              std::to_string(ratio) + " does not fit 32 bits");
            return;
        }
    }
    if (const auto& error = reader->error()) {
        refuseInclude(options, messages::includedFileInvalid,
                      static_cast<long long>(error->offset), rd::describe(*error));
        return;
    }
    reader->flushConsumed();

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

    // Every new name must fit STRNAME and be new to the library.
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!selected[i]) continue;
        const std::string name = prefix + structures[i].name;
        if (!fitsStringRecord(name.c_str())) {
            refuseInclude(options, messages::structureNameTooLong, -1,
                          "structure " + quoted(name) + " is too long for STRNAME");
            return;
        }
        if (file.nameTaken(name)) {
            refuseInclude(options, messages::duplicateStructureName, -1,
                          "structure " + quoted(name) + " is already in the library");
            return;
        }
    }

    // The copy made along the way is kept (or cut off, when the output
    // could not take it).
    if (direct.active() && !direct.commit()) {
        file.markFailed();
        report(messages::cannotWriteFile);
        return;
    }

    // A structure is a top one when no other included structure refers to it.
    std::vector<char> referenced(structures.size(), 0);
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!selected[i]) continue;
        for (const std::string& target : structures[i].references) {
            const auto found = index.find(target);
            if (found != index.end() && found->second != i) referenced[found->second] = 1;
        }
    }
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!selected[i]) continue;
        const std::string name = prefix + structures[i].name;
        file.registerName(name.c_str(), name.size());
        // Its references join the library's, under the names written: one
        // to a structure the file lacks is checked when the library ends.
        for (const std::string& target : structures[i].references) {
            const std::string written = index.count(target) != 0 ? prefix + target : target;
            noteReference(written.c_str(), written.size());
        }
        if (options.onStructure != nullptr)
            options.onStructure(options.userData, name.c_str(), referenced[i] ? 0 : 1);
    }

    if (direct.active()) return;

    // --- Second pass: copy ------------------------------------------------
    rd::FileSource again;
    if (!again.open(fileName)) {
        refuseInclude(options, messages::cannotOpenFile, -1, "the included file went away");
        return;
    }
    if (prefix.empty() && ratio == 1) {
        // Nothing changes: the structures' bytes go out as they stand, each
        // run of selected structures in one piece.
        std::vector<std::pair<std::uint64_t, std::uint64_t>> runs;
        for (std::size_t i = 0; i < structures.size(); ++i) {
            if (!selected[i]) continue;
            if (!runs.empty() && runs.back().second == structures[i].begin) {
                runs.back().second = structures[i].end;
            } else {
                runs.emplace_back(structures[i].begin, structures[i].end);
            }
        }
        copyRuns(again, runs);
        return;
    }
    std::optional<rd::RecordReader> copy;
    copy.emplace(again);
    copyStructures(*copy, index, selected, prefix, ratio);
    if (const auto& error = copy->error()) {
        // Only a file changed between the passes gets here.
        refuseInclude(options, messages::includedFileInvalid,
                      static_cast<long long>(error->offset),
                      "the included file changed while it was copied: " + rd::describe(*error));
    }
}

void GDSIIWriter::copyRuns(reader::FileSource& source,
                           const std::vector<std::pair<std::uint64_t, std::uint64_t>>& runs) {
    std::uint64_t at = 0;  // the source's position
    constexpr std::size_t blockSize = 1024 * 1024;
    std::unique_ptr<std::uint8_t[]> block(new std::uint8_t[blockSize]);
    for (std::size_t r = 0; r < runs.size(); ++r) {
        while (at < runs[r].second) {
            const std::uint64_t want = std::min<std::uint64_t>(blockSize, runs[r].second - at);
            const std::size_t got = source.read(block.get(), static_cast<std::size_t>(want));
            if (got == 0) {
                file.markFailed();
                return;
            }
            const std::uint64_t from = std::max(at, runs[r].first);
            if (from < at + got) {
                out.writeBlock(block.get() + (from - at), static_cast<std::size_t>(at + got - from));
            }
            at += got;
        }
    }
}

void GDSIIWriter::copyStructures(reader::RecordReader& copy,
                                 const std::unordered_map<std::string, std::size_t>& index,
                                 const std::vector<char>& selected, const std::string& prefix,
                                 std::int64_t ratio) {
    const bool renaming = !prefix.empty();
    const bool identity = !renaming && ratio == 1;
    std::size_t structure = 0;
    bool inLibrary = false;  // past UNITS
    bool copying = false;
    rd::Record record;
    std::string name;
    while (copy.next(record)) {
        const unsigned type = record.type;
        if (!inLibrary) {
            inLibrary = type == rd::UNITS;
            continue;
        }
        if (type == rd::BGNSTR) {
            copying = structure < selected.size() && selected[structure];
            ++structure;
        } else if (type == rd::ENDLIB) {
            break;
        }
        if (!copying) continue;
        if (!identity) {
            if (renaming && (type == rd::STRNAME || type == rd::SNAME)) {
                name = rd::asciiValue(record);
                if (type == rd::STRNAME || index.count(name) != 0) {
                    name.insert(0, prefix);
                    writeStringRecord(out, type == rd::STRNAME ? Record::STRNAME : Record::SNAME,
                                      name.c_str(), name.size());
                    continue;
                }
            } else if (ratio > 1 && isScaled(type)) {
                std::uint8_t* p = out.reserve(record.length);
                std::memcpy(p, record.bytes(), 4);
                p += 4;
                for (std::size_t i = 0; i < record.dataLength / 4; ++i)
                    p = storeBigEndian32(p, static_cast<std::uint32_t>(record.int4(i) * ratio));
                out.commit(p);
                continue;
            }
        }
        std::uint8_t* p = out.reserve(record.length);
        std::memcpy(p, record.bytes(), record.length);
        out.commit(p + record.length);
        if (type == rd::ENDSTR) copying = false;
    }
}

}  // namespace quillon
