// The record listing of quillon-dump: one line per record, with its byte
// offset, total length, record name, data type and decoded data, indented by
// nesting (library, structure, element).
#pragma once

#include <ostream>
#include <string>

#include "record_reader.h"

namespace quillon::reader {

// The decoded data of a record, as the listing shows it after the data type:
// INT2 and INT4 values as signed decimal lists (XY as (x, y) pairs), REAL8 and
// REAL4 as exact decimals followed by the nearest double in brackets when
// the two differ, ASCII quoted, BITARRAY words in hex with the flags that
// STRANS, PRESENTATION and ELFLAGS define, BGNLIB and BGNSTR time stamps as
// dates. Empty for NODATA.
std::string formatData(const Record& record);

// Writes the listing line by line as records arrive.
class Dumper {
public:
    explicit Dumper(std::ostream& out) : out(out) {}

    void record(const Record& record);

private:
    int depth() const { return int{inLibrary} + int{inStructure} + int{inElement}; }

    std::ostream& out;
    bool inLibrary = false;
    bool inStructure = false;
    bool inElement = false;
};

}  // namespace quillon::reader
