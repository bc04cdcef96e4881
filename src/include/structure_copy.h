// The include's one copy path: the records of the chosen structures of a
// GDSII file, in file order, into an output, renamed and scaled as asked.
//
// Records that stay as they are pass as runs of the reader's own buffer
// (its spill), so that an unchanged copy moves large blocks, not records.
// A renamed or scaled record is rebuilt and written in its place. What the
// copy leaves out (the library's header and properties, ENDLIB, and the
// structures not chosen) is kept from the spill record by record. Every
// mode of the include goes this way: the one-pass copy made while the file
// is checked, and the second pass that renames, scales or chooses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "reader/library_check.h"
#include "reader/record_reader.h"

namespace quillon::include {

class ElementReplay;

// Where the copied bytes go, in file order.
class CopyOutput {
public:
    virtual ~CopyOutput() = default;
    virtual void write(const std::uint8_t* bytes, std::size_t n) = 0;
};

struct CopyOptions {
    // The new name of each of the file's structures that is renamed (by a
    // prefix, or past a clash): its STRNAME and every SNAME naming it are
    // written with it. Null: no name changes.
    const std::unordered_map<std::string, std::string>* renamed = nullptr;
    // XY, WIDTH, BGNEXTN and ENDEXTN values are multiplied by it; the
    // check has made sure that they fit 32 bits.
    std::int64_t ratio = 1;
    // One flag per structure in file order; null: every structure.
    const std::vector<char>* selected = nullptr;
    // The structures the check found, which a second pass must meet again
    // (a file changed in between is refused); null in the one pass.
    const std::vector<reader::StructureInfo>* expected = nullptr;
    // A library that is not GDSII: the chosen structures' records go to
    // the replay, which writes them as element calls (renaming and scaling
    // as above), and nothing goes to the output.
    ElementReplay* replay = nullptr;
};

// Whether the record's INT4 values are lengths in database units.
bool isScaled(unsigned recordType);

class StructureCopy {
public:
    // Copies what reader gives into output; the reader's spill is the
    // copy's from now on.
    StructureCopy(const CopyOptions& options, CopyOutput& output, reader::RecordReader& reader);
    StructureCopy(const StructureCopy&) = delete;
    StructureCopy& operator=(const StructureCopy&) = delete;

    // Copies, rebuilds or leaves out record, the one the reader gave last.
    // False when it is not what the check saw (the file changed since).
    bool take(const reader::Record& record);
    // Hands over the last run; false when the file ended with structures
    // other than those the check saw.
    bool finish();

private:
    // Writes record (STRNAME or SNAME) with its new name, if it has one.
    void rename(const reader::Record& record);
    bool scale(const reader::Record& record);

    const CopyOptions& options;
    CopyOutput& output;
    reader::RecordReader& reader;
    std::vector<std::uint8_t> rebuilt;  // one rebuilt record
    std::size_t structure = 0;          // BGNSTR records seen
    bool copying = false;               // inside a chosen structure
    bool ended = false;                 // ENDLIB seen
};

}  // namespace quillon::include
