// The output file together with the export state: which of Idle, Library
// open and Structure open the writer is in, the structure names of the
// current library, and what the file really holds. This class is the one
// owner of that state: its fields are private and change only through the
// named transitions below, which the framing and element writers call.
#pragma once

#include <fstream>
#include <ostream>
#include <set>
#include <string>

#include "gzip_buffer.h"
#include "reader/byte_source.h"

namespace quillon {

class GDSIIFile {
public:
    // The stream every byte of the file goes through (the sink's target).
    std::ostream& stream() { return output; }
    bool isOpen() const { return plain.is_open() || gzip.is_open(); }

    // Creates or truncates fileName for untranslated binary output on a
    // clean stream. Answers false when the file is not open afterwards (also
    // for a NULL or over-long name); the stream is then failed, so that the
    // bytes of an export the host lets run on are dropped. Whether the
    // file is a gzip stream is decided here, by the compression setting,
    // unless plainOnly (an OASIS file, which compresses its own records).
    bool openFile(const char* fileName, bool plainOnly = false);

    // Flushes and closes the file (a gzip stream is finished first). Returns
    // false when the open file could not take every byte written to it, or
    // the flush, the compression or the close failed.
    bool closeFile();
    // The last closeFile failed because a block could not be compressed for
    // lack of memory (the file holds the blocks before it).
    bool closedOutOfMemory() const { return memoryLost; }

    // The descriptor of the open file when it is a plain one and the system
    // lets bytes be handed to it directly (-1 otherwise), everything the
    // stream holds flushed to it first. Bytes written to the descriptor
    // land after those of the stream, and before those that follow.
    int plainDescriptor();
    // Which file the open output is (whatever the path it was opened by),
    // so that an include can refuse to read it.
    const reader::FileIdentity& identity() const { return openedIdentity; }
    // Bytes handed to the descriptor were lost: the close reports it.
    void markFailed() { output.setstate(std::ios::badbit); }

    // The compression of the files opened from now on: -1 by the name (a
    // name ending in ".gz", in any case, is written as a gzip stream at
    // level 1), 0 never, 1 to 9 always, at that deflate level. False, with
    // the setting unchanged, for any other value.
    bool setCompression(int level);
    int compression() const { return compressionSetting; }
    // The file open now is a gzip stream.
    bool compressing() const { return gzip.is_open(); }

    // --- Export state ---------------------------------------------------
    // A library is being exported (GDS_BeginLib to GDS_EndLib).
    bool exportRunning() const { return running; }
    // The structure flag: set by GDS_BeginStructure, cleared by
    // GDS_EndStructure. It may be set without a BGNSTR in the file (a
    // refused duplicate name leaves it set).
    bool structureOpen() const { return structureFlag; }
    // A BGNSTR of the current library stands in the file with no ENDSTR
    // after it: elements written now belong to a structure.
    bool structureInFile() const { return structureWritten; }
    bool nameTaken(const std::string& name) const { return names.count(name) != 0; }

    // A new library starts clean: no flag, no name and no structure of an
    // earlier library or of calls made while idle carries into it.
    void startExport();
    // The library ends: names forgotten, the export no longer running. The
    // structure flag is left as it is.
    void finishExport();
    // GDS_EndLib while idle: only the names are forgotten.
    void forgetNames() { names.clear(); }

    void setStructureFlag() { structureFlag = true; }
    // Registers name; false when the library has it already.
    bool registerName(const char* name, std::size_t length) {
        return names.emplace(name, length).second;
    }
    // BGNSTR was written: while a library runs, the file now holds an open
    // structure.
    void structureBegun() { structureWritten = running; }
    // ENDSTR was written (or the structure was given up).
    void structureEnded() {
        structureFlag = false;
        structureWritten = false;
    }

private:
    // The two ways to the file; output reads from the one openFile chose.
    std::filebuf plain;
    GzipBuffer gzip;
    std::ostream output{&plain};
    int compressionSetting = -1;
    // Whether the current export's file was opened, so that a write failure
    // found at the close is worth reporting (a failed open already was).
    bool fileOpened = false;
    reader::FileIdentity openedIdentity;
    bool memoryLost = false;

    std::set<std::string> names;
    bool running = false;
    bool structureFlag = false;
    bool structureWritten = false;
};

}  // namespace quillon
