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
// name per structure and the names each references. What the include
// finds and decides is its plan (include_plan.h); this file runs the
// passes and, once the copy is kept, lets the names in.
#include <optional>
#include <string>

#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "element_replay.h"
#include "include_output.h"
#include "include_plan.h"
#include "reader/gds_records.h"
#include "reader/record_reader.h"
#include "structure_copy.h"

namespace quillon {

namespace rd = quillon::reader;

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
    const auto refuse = [&](const include::Refusal& why) {
        refuseInclude(options, why.message, why.offset, why.detail);
    };
    if (fileName == nullptr) return refuse({messages::fileNameNull, -1, "the file name is NULL"});
    include::IncludePlan plan;
    plan.prefix = options.prefix != nullptr ? options.prefix : "";
    plan.onClash = options.onClash;
    if (plan.onClash != QUILLON_CLASH_ERROR && plan.onClash != QUILLON_CLASH_SKIP_IDENTICAL &&
        plan.onClash != QUILLON_CLASH_RENAME) {
        return refuse({messages::valueOutOfRange, -1,
                       "onClash " + std::to_string(plan.onClash) + " is none of the clash policies"});
    }

    rd::FileSource source;
    if (!source.open(fileName))
        return refuse({messages::cannotOpenFile, -1, std::string("cannot open ") + fileName});
    // Reading the output while it grows would never end.
    if (source.identity().sameAs(file.identity()))
        return refuse({messages::includedIsOutput, -1,
                       std::string(fileName) + " is the file being written"});

    // A plain output file takes the copy on its descriptor, cut back on a
    // fault; everything the stream holds goes to the file first.
    // An OASIS library takes no bytes but its own: the file's elements are
    // replayed as element calls in the second pass.
    include::FileOutput direct;
    bool cutsBack = false;
    if (!oasis) {
        out.drain();
        cutsBack = direct.start(file.plainDescriptor());
    }
    include::SinkOutput sink(out);
    include::CopyOutput& target = cutsBack ? static_cast<include::CopyOutput&>(direct) : sink;

    // All structures under their own names into a plain file: copied while
    // checked, unless the units turn out to differ.
    const bool onePass = cutsBack && plan.prefix.empty() && options.structures == nullptr &&
                         plan.onClash == QUILLON_CLASH_ERROR;
    const include::Refusal notTwice{messages::includedNotRewindable, -1,
                                    std::string(fileName) +
                                        " is not a regular file, and this include reads it twice"};
    if (!onePass && !source.seekable()) return refuse(notTwice);

    // --- The check (and the one-pass copy) --------------------------------
    bool secondPass = true;
    {
        rd::RecordReader reader(source);
        const include::CopyOptions everything;
        std::optional<include::StructureCopy> copyNow;
        if (onePass) copyNow.emplace(everything, target, reader);
        include::IncludePlan::Check check(plan, libraryMeters);
        rd::Record record;
        while (reader.next(record)) {
            if (const auto refusal = check.take(record)) return refuse(*refusal);
            // Scaled records are rewritten in the second pass (nothing is
            // copied before the first structure).
            if (record.type == rd::UNITS && plan.ratio != 1 && copyNow) {
                copyNow.reset();
                reader.setSpill(nullptr);
                if (!source.seekable()) return refuse(notTwice);
            }
            if (copyNow) copyNow->take(record);
        }
        if (const auto refusal = check.finish(reader)) return refuse(*refusal);
        if (copyNow) copyNow->finish();
        secondPass = !copyNow;
    }

    // --- What comes in, and under which names ------------------------------
    if (const auto refusal = plan.choose(options.structures)) return refuse(*refusal);
    const auto taken = [&](const std::string& name) { return file.nameTaken(name); };
    if (const auto refusal = plan.name(taken, includedDigests)) return refuse(*refusal);

    // --- The second pass: the same open file, from its start --------------
    if (secondPass) {
        if (!source.rewind())
            return refuse({messages::includedNotRewindable, -1,
                           std::string(fileName) + " could not be read again from its start"});
        const auto changed = [&](const std::string& why) {
            // Into a sink that cannot be cut back, the output is lost.
            if (!cutsBack) file.markFailed();
            refuse({cutsBack ? messages::includedFileInvalid : messages::cannotWriteFile, -1,
                    "the included file changed while it was copied: " + why});
        };
        rd::RecordReader again(source);
        include::CopyOptions chosen;
        chosen.renamed = plan.renamed.empty() ? nullptr : &plan.renamed;
        chosen.ratio = plan.ratio;
        chosen.selected = &plan.selected;
        chosen.expected = &plan.structures;
        std::optional<include::ElementReplay> replay;
        if (oasis) chosen.replay = &replay.emplace(*this, plan.ratio, chosen.renamed);
        include::StructureCopy copy(chosen, target, again);
        rd::Record record;
        bool same = true;
        while (same && again.next(record)) same = copy.take(record);
        if (const auto& error = again.error()) return changed(rd::describe(*error));
        if (!same || !copy.finish()) return changed("its structures are not those it was checked with");
    }
    if (cutsBack && !direct.commit()) {
        report(messages::cannotWriteFile);
        return;
    }
    admitIncluded(plan, options);
}

void GDSIIWriter::admitIncluded(const include::IncludePlan& plan,
                                const QuillonIncludeOptions& options) {
    const std::vector<rd::StructureInfo>& structures = plan.structures;
    // A structure is a top one when no other included structure refers to it.
    std::vector<char> referenced(structures.size(), 0);
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!plan.comesIn(i)) continue;
        for (const std::string& target : structures[i].references) {
            const auto found = plan.index.find(target);
            if (found != plan.index.end() && found->second != i) referenced[found->second] = 1;
        }
    }
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (!plan.selected[i]) continue;
        file.registerName(plan.written[i].c_str(), plan.written[i].size());
        if (plan.onClash == QUILLON_CLASH_SKIP_IDENTICAL)
            includedDigests[plan.written[i]] = plan.writtenDigest(i);
        // Its references join the library's, under the names written: one
        // to a structure the file lacks is checked when the library ends.
        for (const std::string& target : structures[i].references) {
            const auto found = plan.renamed.find(target);
            const std::string& name = found != plan.renamed.end() ? found->second : target;
            noteReference(name.c_str(), name.size());
        }
    }
    if (options.onStructure != nullptr) {
        ReportGuard during(handlingReport);
        for (std::size_t i = 0; i < structures.size(); ++i) {
            if (plan.comesIn(i))
                options.onStructure(options.userData, plan.written[i].c_str(),
                                    referenced[i] ? 0 : 1);
        }
    }
}

}  // namespace quillon
