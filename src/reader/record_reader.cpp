#include "record_reader.h"

#include <cmath>
#include <cstring>

#include "gds_records.h"

namespace quillon::reader {

std::int16_t Record::int2(std::size_t i) const {
    const auto word = static_cast<std::uint16_t>((data[2 * i] << 8) | data[2 * i + 1]);
    return static_cast<std::int16_t>(word);
}

std::int32_t Record::int4(std::size_t i) const {
    const std::uint8_t* p = data + 4 * i;
    const std::uint32_t word = (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) |
                               (std::uint32_t{p[2]} << 8) | std::uint32_t{p[3]};
    return static_cast<std::int32_t>(word);
}

double real8Value(const std::uint8_t* p) {
    std::uint64_t fraction = 0;
    for (int i = 1; i < 8; ++i) fraction = (fraction << 8) | p[i];
    const int exponent = (p[0] & 0x7F) - 64;
    const double magnitude = std::ldexp(static_cast<double>(fraction), 4 * exponent - 56);
    return (p[0] & 0x80) != 0 ? -magnitude : magnitude;
}

double Record::real8(std::size_t i) const { return real8Value(data + 8 * i); }

namespace {

constexpr std::size_t headerSize = 4;
// The stream buffer: many records per refill, and always room for the
// longest one (65535 bytes) after the tail of the last block.
constexpr std::size_t bufferSize = 1024 * 1024;

// The size of one value of dataType, 0 for NODATA, 1 for ASCII (any even
// number of bytes), or nothing for a data type the format does not define.
std::optional<std::size_t> valueSize(unsigned dataType) {
    switch (dataType) {
        case NoData: return 0;
        case BitArray:
        case Int2: return 2;
        case Int4:
        case Real4: return 4;
        case Real8: return 8;
        case Ascii: return 1;
        default: return std::nullopt;
    }
}

std::optional<ParseError> checkData(const Record& record) {
    const auto size = valueSize(record.dataType);
    if (!size) {
        return ParseError{record.offset, recordName(record.type) + " record has unknown data type " +
                                             std::to_string(record.dataType)};
    }
    if (*size == 0 && record.dataLength != 0) {
        return ParseError{record.offset, recordName(record.type) + " record of data type NODATA has " +
                                             std::to_string(record.dataLength) + " data bytes"};
    }
    if (*size > 1 && record.dataLength % *size != 0) {
        return ParseError{record.offset, recordName(record.type) + " record of data type " +
                                             dataTypeName(record.dataType) + " has " +
                                             std::to_string(record.dataLength) +
                                             " data bytes, not a multiple of " +
                                             std::to_string(*size)};
    }
    return std::nullopt;
}

}  // namespace

RecordReader::RecordReader(ByteSource& source)
    : source(&source), storage(new std::uint8_t[bufferSize]) {
    cursor = end = unspilled = storage.get();
}

RecordReader::RecordReader(const std::uint8_t* bytes, std::size_t size)
    : cursor(bytes), end(bytes + size), unspilled(bytes), sourceEnded(true) {}

void RecordReader::flushConsumed() {
    if (spill && cursor != unspilled) {
        const auto n = static_cast<std::size_t>(cursor - unspilled);
        spill(position - n, unspilled, n);
    }
    unspilled = cursor;
}

void RecordReader::divert(const Record& record) {
    const std::uint8_t* begin = record.bytes();
    if (spill && begin != unspilled) {
        const auto n = static_cast<std::size_t>(begin - unspilled);
        spill(record.offset - n, unspilled, n);
    }
    unspilled = begin + record.length;
}

bool RecordReader::have(std::size_t n) {
    if (static_cast<std::size_t>(end - cursor) >= n) return true;
    if (sourceEnded) return false;
    // The unread tail moves to the front, and the source fills the rest.
    flushConsumed();
    const std::size_t left = static_cast<std::size_t>(end - cursor);
    std::uint8_t* base = storage.get();
    if (left != 0 && cursor != base) std::memmove(base, cursor, left);
    cursor = unspilled = base;
    std::uint8_t* fill = base + left;
    while (static_cast<std::size_t>(fill - base) < n) {
        const std::size_t count = source->read(fill, bufferSize - static_cast<std::size_t>(fill - base));
        if (count == 0) {
            sourceEnded = true;
            break;
        }
        fill += count;
    }
    end = fill;
    return static_cast<std::size_t>(end - cursor) >= n;
}

bool RecordReader::fail(std::uint64_t offset, std::string message) {
    finished = true;
    fault = ParseError{offset, std::move(message)};
    return false;
}

bool RecordReader::failInSource() {
    finished = true;
    fault = ParseError{position + static_cast<std::uint64_t>(end - cursor), source->fault(), true};
    return false;
}

bool RecordReader::checkPadding() {
    // Tape-era writers pad the file with zeros to a block size.
    for (;;) {
        for (const std::uint8_t* p = cursor; p != end; ++p) {
            if (*p != 0) {
                return fail(position + static_cast<std::uint64_t>(p - cursor),
                            "unexpected data after ENDLIB");
            }
        }
        position += static_cast<std::uint64_t>(end - cursor);
        cursor = end;
        if (!have(1)) break;
    }
    if (source != nullptr && !source->fault().empty()) return failInSource();
    finished = true;
    return false;
}

bool RecordReader::next(Record& record) {
    if (finished) return false;
    if (afterEndlib) return checkPadding();
    if (!have(headerSize)) {
        if (source != nullptr && !source->fault().empty()) return failInSource();
        const std::size_t left = static_cast<std::size_t>(end - cursor);
        if (first && left == 0) return fail(0, "empty file: no HEADER record");
        if (left == 0) {
            return fail(position, "missing ENDLIB: the file ends after " +
                                      std::to_string(position) + " bytes");
        }
        return fail(position, "truncated record header: only " + std::to_string(left) +
                                  " bytes left in the file");
    }
#if defined(__GNUC__)
    // The records follow each other: the lines a few KiB ahead are fetched
    // while this one is read, instead of one cache miss per long record.
    __builtin_prefetch(cursor + 4096);
    __builtin_prefetch(cursor + 8192);
#endif
    record.offset = position;
    record.length = (std::size_t{cursor[0]} << 8) | cursor[1];
    record.type = cursor[2];
    record.dataType = cursor[3];
    if (record.length < headerSize) {
        return fail(position, "record length " + std::to_string(record.length) + " is below 4");
    }
    if (record.length % 2 != 0) {
        return fail(position, "record length " + std::to_string(record.length) + " is odd");
    }
    if (!have(record.length)) {
        if (source != nullptr && !source->fault().empty()) return failInSource();
        return fail(position, recordName(record.type) + " record of length " +
                                  std::to_string(record.length) +
                                  " runs past the end of the file (" +
                                  std::to_string(end - cursor) + " bytes left)");
    }
    record.data = cursor + headerSize;
    record.dataLength = record.length - headerSize;
    if (first && record.type != HEADER) {
        return fail(0, "not a GDSII Stream file: the first record is " +
                           recordName(record.type) + ", not HEADER");
    }
    first = false;
    if (auto error = checkData(record)) {
        finished = true;
        fault = std::move(error);
        return false;
    }
    cursor += record.length;
    position += record.length;
    // What follows ENDLIB is checked by the next call, once the caller is
    // done with ENDLIB's bytes.
    if (record.type == ENDLIB) afterEndlib = true;
    return true;
}

std::optional<ParseError> readRecords(const std::uint8_t* bytes, std::size_t size,
                                      const std::function<void(const Record&)>& visit) {
    RecordReader reader(bytes, size);
    Record record;
    while (reader.next(record)) visit(record);
    return reader.error();
}

std::string describe(const ParseError& error) {
    return "error at byte offset " + std::to_string(error.offset) + ": " + error.message;
}

}  // namespace quillon::reader
