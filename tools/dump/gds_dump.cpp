#include "gds_dump.h"

#include <cstdio>

#include "gds_records.h"
#include "gds_values.h"

namespace quillon::reader {

namespace {

std::string hexWord(std::uint16_t word) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%04X", static_cast<unsigned>(word));
    return text;
}

// Names of the bits that the standard defines in the flag words.
std::string flagNames(unsigned recordType, std::uint16_t word) {
    std::string names;
    auto add = [&names](const std::string& name) { names += (names.empty() ? "" : ", ") + name; };
    switch (recordType) {
        case STRANS:
            if (word & 0x8000) add("reflected");
            if (word & 0x0004) add("absolute magnification");
            if (word & 0x0002) add("absolute angle");
            break;
        case PRESENTATION: {
            static const char* const vertical[] = {"top", "middle", "bottom", "vertical 3"};
            static const char* const horizontal[] = {"left", "centre", "right", "horizontal 3"};
            add("font " + std::to_string((word >> 4) & 3));
            add(vertical[(word >> 2) & 3]);
            add(horizontal[word & 3]);
            break;
        }
        case ELFLAGS:
            if (word & 0x0001) add("template");
            if (word & 0x0002) add("external");
            break;
        default:
            break;
    }
    return names.empty() ? "" : " (" + names + ")";
}

std::string formatBitArray(const Record& record) {
    std::string text;
    for (std::size_t i = 0; i < record.dataLength / 2; ++i) {
        const auto word = static_cast<std::uint16_t>(record.int2(i));
        text += (i ? " " : "") + hexWord(word) + flagNames(record.type, word);
    }
    return text;
}

std::string date(const Record& record, std::size_t first) {
    // Years are stored as years since 1900; some writers store the full year.
    int year = record.int2(first);
    if (year < 1900) year += 1900;
    char text[48];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year,
                  record.int2(first + 1), record.int2(first + 2), record.int2(first + 3),
                  record.int2(first + 4), record.int2(first + 5));
    return text;
}

std::string formatInt2(const Record& record) {
    const std::size_t count = record.dataLength / 2;
    std::string text;
    for (std::size_t i = 0; i < count; ++i) {
        text += (i ? " " : "") + std::to_string(record.int2(i));
    }
    if ((record.type == BGNLIB || record.type == BGNSTR) && count == 12) {
        text += " (modified " + date(record, 0) + ", accessed " + date(record, 6) + ")";
    }
    return text;
}

std::string formatInt4(const Record& record) {
    const std::size_t count = record.dataLength / 4;
    std::string text;
    if (record.type == XY && count % 2 == 0) {
        text = std::to_string(count / 2) + (count == 2 ? " point:" : " points:");
        for (std::size_t i = 0; i < count; i += 2) {
            text += " (" + std::to_string(record.int4(i)) + ", " +
                    std::to_string(record.int4(i + 1)) + ")";
        }
        return text;
    }
    for (std::size_t i = 0; i < count; ++i) {
        text += (i ? " " : "") + std::to_string(record.int4(i));
    }
    return text;
}

std::string formatReals(const Record& record, std::size_t size) {
    std::string text;
    for (std::size_t i = 0; i < record.dataLength / size; ++i) {
        const std::uint8_t* bytes = record.data + i * size;
        const std::string exact = exactReal(bytes, size);
        const std::string nearest = shortReal(bytes, size);
        text += (i ? " " : "") + exact;
        if (nearest != exact) text += " (~" + nearest + ")";
    }
    return text;
}

}  // namespace

std::string formatData(const Record& record) {
    switch (record.dataType) {
        case BitArray: return formatBitArray(record);
        case Int2: return formatInt2(record);
        case Int4: return formatInt4(record);
        case Real4: return formatReals(record, 4);
        case Real8: return formatReals(record, 8);
        case Ascii: return quoteAscii(record.data, record.dataLength);
        default: return "";
    }
}

void Dumper::record(const Record& record) {
    switch (record.type) {
        case ENDLIB: inLibrary = inStructure = inElement = false; break;
        case ENDSTR: inStructure = inElement = false; break;
        case BGNSTR: inElement = false; break;
        case ENDEL: inElement = false; break;
        default:
            if (isElementStart(record.type)) inElement = false;
            break;
    }
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%10llu %6zu  ",
                  static_cast<unsigned long long>(record.offset), record.length);
    out << prefix << std::string(2 * static_cast<std::size_t>(depth()), ' ')
        << recordName(record.type) << ' ' << dataTypeName(record.dataType);
    const std::string data = formatData(record);
    if (!data.empty()) out << ' ' << data;
    out << '\n';
    if (record.type == BGNLIB) inLibrary = true;
    if (record.type == BGNSTR) inStructure = true;
    if (isElementStart(record.type)) inElement = true;
}

}  // namespace quillon::reader
