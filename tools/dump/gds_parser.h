// Splits a GDSII Stream file into its records and checks the framing: every
// record length is even, at least 4 and inside the file, every data length
// fits its data type, the file starts with HEADER and ends with ENDLIB
// (followed by nothing but zero padding). Works on bytes in memory and never
// reads outside them, whatever they hold.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace gdsdump {

// One record as it stands in the file. data points into the caller's buffer.
struct Record {
    std::size_t offset = 0;      // of the length field, from the start of the file
    std::size_t length = 0;      // total, the 4 header bytes included
    unsigned type = 0;           // record type
    unsigned dataType = 0;       // data type
    const std::uint8_t* data = nullptr;
    std::size_t dataLength = 0;  // length - 4

    // The i-th big-endian 16-bit word of the data, signed (INT2, BITARRAY).
    std::int16_t int2(std::size_t i) const;
    // The i-th big-endian 32-bit word of the data, signed (INT4).
    std::int32_t int4(std::size_t i) const;
};

// What is wrong with the file and where: the byte offset of the offending
// record (or of the first stray byte).
struct ParseError {
    std::size_t offset = 0;
    std::string message;
};

// Hands every well-formed record of bytes[0, size), in file order, to visit,
// up to and including ENDLIB. Returns the first framing error, or nothing
// when the file is well formed. Records before the error have been visited.
std::optional<ParseError> readRecords(const std::uint8_t* bytes, std::size_t size,
                                      const std::function<void(const Record&)>& visit);

// "error at byte offset 12: record length 3 is below 4": the one-line form
// in which the tools report a parse error.
std::string describe(const ParseError& error);

}  // namespace gdsdump
