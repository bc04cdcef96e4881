// Splits a GDSII Stream file into its records and checks the framing: every
// record length is even, at least 4 and inside the file, every data length
// fits its data type, the file starts with HEADER and ends with ENDLIB
// (followed by nothing but zero padding). It streams: the file passes
// through one buffer of fixed size (records are at most 65535 bytes), so
// that files of any size are read in constant memory; bytes already in
// memory are read in place. It never reads outside its bytes, whatever they
// hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "byte_source.h"

namespace quillon::reader {

// One record as it stands in the file. data points into the reader's buffer
// (or the caller's bytes) and stays valid until the next record is read.
struct Record {
    std::uint64_t offset = 0;    // of the length field, from the start of the file
    std::size_t length = 0;      // total, the 4 header bytes included
    unsigned type = 0;           // record type
    unsigned dataType = 0;       // data type
    const std::uint8_t* data = nullptr;
    std::size_t dataLength = 0;  // length - 4

    // The record's bytes as in the file, header first (length bytes).
    const std::uint8_t* bytes() const { return data - 4; }
    // The i-th big-endian 16-bit word of the data, signed (INT2, BITARRAY).
    std::int16_t int2(std::size_t i) const;
    // The i-th big-endian 32-bit word of the data, signed (INT4).
    std::int32_t int4(std::size_t i) const;
    // The i-th 8-byte real of the data (REAL8), rounded to the nearest double.
    double real8(std::size_t i) const;
};

// The value of the GDSII 8-byte real at p (sign bit, excess-64 exponent of
// 16, 56-bit fraction), rounded to the nearest double.
double real8Value(const std::uint8_t* p);

// What is wrong with the file and where: the byte offset of the offending
// record (or of the first stray byte). inSource: the fault lies beneath the
// records (a corrupt gzip stream, a read error); the offset is then where
// the records stood when it was found.
struct ParseError {
    std::uint64_t offset = 0;
    std::string message;
    bool inSource = false;
};

class RecordReader {
public:
    // Reads source through a buffer of its own.
    explicit RecordReader(ByteSource& source);
    // Reads bytes[0, size) in place.
    RecordReader(const std::uint8_t* bytes, std::size_t size);
    RecordReader(const RecordReader&) = delete;
    RecordReader& operator=(const RecordReader&) = delete;

    // The next well-formed record, in file order, up to and including
    // ENDLIB. False at the end of a well-formed file (ENDLIB was the last
    // record, any padding after it checked) or at the first fault, which
    // error() then holds.
    bool next(Record& record);
    const std::optional<ParseError>& error() const { return fault; }

    // Receives every run of bytes the reader has passed over, in file
    // order, each byte once: (file offset, bytes, count), when the buffer is
    // refilled and at flushConsumed(). Lets a caller copy what it has read
    // without a copy of its own.
    using Spill = std::function<void(std::uint64_t, const std::uint8_t*, std::size_t)>;
    void setSpill(Spill to) { spill = std::move(to); }
    void flushConsumed();
    // Keeps record, the one next() gave last, from the spill: the bytes
    // before it are spilled now, and its own never are. A caller that
    // drops or rewrites a record calls this before it writes anything of
    // its own, so that what it writes lands in file order.
    void divert(const Record& record);

private:
    // Makes at least n bytes available at cursor when the data holds them.
    bool have(std::size_t n);
    bool fail(std::uint64_t offset, std::string message);
    bool failInSource();
    bool checkPadding();

    ByteSource* source = nullptr;
    std::unique_ptr<std::uint8_t[]> storage;
    const std::uint8_t* cursor = nullptr;
    const std::uint8_t* end = nullptr;
    std::uint64_t position = 0;  // file offset of cursor
    const std::uint8_t* unspilled = nullptr;  // first byte not handed to spill
    Spill spill;
    bool sourceEnded = false;
    bool finished = false;
    bool first = true;
    bool afterEndlib = false;
    std::optional<ParseError> fault;
};

// Hands every well-formed record of bytes[0, size), in file order, to visit,
// up to and including ENDLIB. Returns the first framing error, or nothing
// when the file is well formed. Records before the error have been visited.
std::optional<ParseError> readRecords(const std::uint8_t* bytes, std::size_t size,
                                      const std::function<void(const Record&)>& visit);

// "error at byte offset 12: record length 3 is below 4": the one-line form
// in which the tools report a parse error.
std::string describe(const ParseError& error);

}  // namespace quillon::reader
