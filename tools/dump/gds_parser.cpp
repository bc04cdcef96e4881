#include "gds_parser.h"

#include "gds_records.h"

namespace gdsdump {

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

namespace {

constexpr std::size_t headerSize = 4;

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

std::optional<ParseError> readRecords(const std::uint8_t* bytes, std::size_t size,
                                      const std::function<void(const Record&)>& visit) {
    if (size == 0) return ParseError{0, "empty file: no HEADER record"};
    std::size_t offset = 0;
    while (offset < size) {
        const std::size_t left = size - offset;
        if (left < headerSize) {
            return ParseError{offset, "truncated record header: only " + std::to_string(left) +
                                          " bytes left in the file"};
        }
        Record record;
        record.offset = offset;
        record.length = (std::size_t{bytes[offset]} << 8) | bytes[offset + 1];
        record.type = bytes[offset + 2];
        record.dataType = bytes[offset + 3];
        if (record.length < headerSize) {
            return ParseError{offset, "record length " + std::to_string(record.length) +
                                          " is below 4"};
        }
        if (record.length % 2 != 0) {
            return ParseError{offset, "record length " + std::to_string(record.length) +
                                          " is odd"};
        }
        if (record.length > left) {
            return ParseError{offset, recordName(record.type) + " record of length " +
                                          std::to_string(record.length) +
                                          " runs past the end of the file (" +
                                          std::to_string(left) + " bytes left)"};
        }
        record.data = bytes + offset + headerSize;
        record.dataLength = record.length - headerSize;
        if (offset == 0 && record.type != HEADER) {
            return ParseError{0, "not a GDSII Stream file: the first record is " +
                                     recordName(record.type) + ", not HEADER"};
        }
        if (auto error = checkData(record)) return error;
        visit(record);
        offset += record.length;
        if (record.type == ENDLIB) {
            // Tape-era writers pad the file with zeros to a block size.
            for (std::size_t i = offset; i < size; ++i) {
                if (bytes[i] != 0) return ParseError{i, "unexpected data after ENDLIB"};
            }
            return std::nullopt;
        }
    }
    return ParseError{size, "missing ENDLIB: the file ends after " + std::to_string(size) +
                                " bytes"};
}

std::string describe(const ParseError& error) {
    return "error at byte offset " + std::to_string(error.offset) + ": " + error.message;
}

}  // namespace gdsdump
