#include "library_check.h"

#include <cstring>

#include "gds_records.h"

namespace quillon::reader {

namespace {

// Records that may stand between BGNLIB and UNITS.
bool isLibraryRecord(unsigned type) {
    switch (type) {
        case LIBDIRSIZE: case SRFNAME: case LIBSECUR: case LIBNAME: case REFLIBS: case FONTS:
        case ATTRTABLE: case GENERATIONS: case FORMAT: case MASK: case ENDMASKS:
        case STYPTABLE: case TAPENUM: case TAPECODE:
            return true;
        default:
            return false;
    }
}

// Records that may stand inside an element, between its first record and
// ENDEL.
bool isElementRecord(unsigned type) {
    switch (type) {
        case LAYER: case DATATYPE: case WIDTH: case XY: case SNAME: case COLROW: case TEXTTYPE:
        case PRESENTATION: case SPACING: case STRING: case STRANS: case MAG: case ANGLE:
        case UINTEGER: case USTRING: case PATHTYPE: case ELFLAGS: case ELKEY: case LINKTYPE:
        case LINKKEYS: case NODETYPE: case PROPATTR: case PROPVALUE: case BOXTYPE: case PLEX:
        case BGNEXTN: case ENDEXTN: case STRTYPE:
            return true;
        default:
            return false;
    }
}

// The data type and length (0: any) that the records of elements and names
// must have; nothing for the records that are only passed on.
struct Shape {
    unsigned dataType;
    std::size_t dataLength;
};

std::optional<Shape> requiredShape(unsigned type) {
    switch (type) {
        case HEADER: return Shape{Int2, 2};
        case BGNLIB: case BGNSTR: return Shape{Int2, 24};
        case UNITS: return Shape{Real8, 16};
        case STRNAME: case SNAME: return Shape{Ascii, 0};
        case XY: return Shape{Int4, 0};
        case WIDTH: case BGNEXTN: case ENDEXTN: return Shape{Int4, 4};
        case COLROW: return Shape{Int2, 4};
        case LAYER: case DATATYPE: case TEXTTYPE: case BOXTYPE: case NODETYPE: case PATHTYPE:
        case PROPATTR:
            return Shape{Int2, 2};
        case STRANS: case PRESENTATION: case ELFLAGS: return Shape{BitArray, 2};
        case MAG: case ANGLE: return Shape{Real8, 8};
        case PLEX: return Shape{Int4, 4};
        case STRING: case PROPVALUE: return Shape{Ascii, 0};
        case ENDLIB: case ENDSTR: case ENDEL: case BOUNDARY: case PATH: case SREF: case AREF:
        case TEXT: case TEXTNODE: case NODE: case BOX:
            return Shape{NoData, 0};
        default:
            return std::nullopt;
    }
}

}  // namespace

unsigned LibraryChecker::bit(unsigned type) { return 1u << type; }

std::string asciiValue(const Record& record) {
    const void* nul = std::memchr(record.data, 0, record.dataLength);
    const std::size_t n = nul == nullptr
                              ? record.dataLength
                              : static_cast<std::size_t>(static_cast<const std::uint8_t*>(nul) -
                                                         record.data);
    return std::string(reinterpret_cast<const char*>(record.data), n);
}

std::optional<ParseError> LibraryChecker::fail(const Record& record, const std::string& message) {
    state = State::Failed;
    return ParseError{record.offset, message};
}

std::optional<ParseError> LibraryChecker::checkProperty(const Record& record, bool allowed) {
    const unsigned type = record.type;
    if (propertyOpen) {
        if (type != PROPVALUE) return fail(record, recordName(type) + " record where PROPVALUE must follow PROPATTR");
        propertyOpen = false;
        return std::nullopt;
    }
    if (type == PROPVALUE) return fail(record, "PROPVALUE record without its PROPATTR");
    if (type != PROPATTR) return std::nullopt;
    if (!allowed) return fail(record, "PROPATTR record after the structures or elements began");
    propertyOpen = true;
    return std::nullopt;
}

std::optional<ParseError> LibraryChecker::checkPoints(const Record& record) {
    // KLayout and gdspy refuse the whole file for an AREF without its three
    // lattice points, and gdspy cannot read coordinates that are not in
    // pairs. One point more than a reference or a text needs, an AREF's
    // fourth, and a BOUNDARY left open or with fewer than four points are
    // read by both (KLayout warns, and closes or drops it), so they pass
    // as they are.
    const std::size_t points = record.dataLength / 8;
    if (record.dataLength % 8 != 0)
        return fail(record, "XY record of " + std::to_string(record.dataLength / 4) +
                                " coordinates, not pairs");
    if (element == AREF && points < 3)
        return fail(record, "AREF with " + std::to_string(points) +
                                " points in its XY record, not 3");
    return std::nullopt;
}

std::optional<ParseError> LibraryChecker::check(const Record& record) {
    const unsigned type = record.type;
    if (state == State::Failed) return fail(record, "the library was already found faulty");
    if (type >= knownRecordTypes) return fail(record, "unknown record type " + std::to_string(type));
    if (const auto shape = requiredShape(type)) {
        if (record.dataType != shape->dataType ||
            (shape->dataLength != 0 && record.dataLength != shape->dataLength) ||
            ((type == STRNAME || type == SNAME) && (record.dataLength == 0 || record.data[0] == 0)) ||
            (type == XY && record.dataLength == 0)) {
            return fail(record, recordName(type) + " record of data type " +
                                    dataTypeName(record.dataType) + " with " +
                                    std::to_string(record.dataLength) +
                                    " data bytes is malformed");
        }
    }
    const auto misplaced = [&](const char* where) {
        return fail(record, recordName(type) + " record " + where);
    };
    switch (state) {
        case State::Start:
            if (type != HEADER) return misplaced("where HEADER must be");
            state = State::AfterHeader;
            return std::nullopt;
        case State::AfterHeader:
            if (type != BGNLIB) return misplaced("where BGNLIB must follow HEADER");
            state = State::LibraryHeader;
            return std::nullopt;
        case State::LibraryHeader:
            if (type == UNITS) {
                std::memcpy(unitBytes, record.data, sizeof unitBytes);
                unitsSeen = true;
                state = State::Library;
                return std::nullopt;
            }
            if (!isLibraryRecord(type)) return misplaced("before UNITS");
            return std::nullopt;
        case State::Library:
            // Library properties stand between UNITS and the first BGNSTR.
            if (const auto error = checkProperty(record, found.empty())) return error;
            if (type == PROPATTR || type == PROPVALUE) return std::nullopt;
            if (type == ENDLIB) {
                state = State::Done;
                return std::nullopt;
            }
            if (type != BGNSTR) return misplaced("outside a structure");
            structureBegin = record.offset;
            state = State::StructureName;
            return std::nullopt;
        case State::StructureName:
            if (type != STRNAME) return misplaced("where STRNAME must follow BGNSTR");
            found.push_back(StructureInfo{asciiValue(record), {}, structureBegin, 0});
            state = State::Structure;
            elementSeen = false;
            return std::nullopt;
        case State::Structure:
            // Cell properties stand between STRNAME and the first element.
            if (const auto error = checkProperty(record, !elementSeen)) return error;
            if (type == PROPATTR || type == PROPVALUE) return std::nullopt;
            if (type == ENDSTR) {
                found.back().references.assign(references.begin(), references.end());
                found.back().end = record.offset + record.length;
                references.clear();
                state = State::Library;
                return std::nullopt;
            }
            if (type == STRCLASS) return std::nullopt;
            if (type == ENDLIB) return fail(record, "structure without ENDSTR before ENDLIB");
            if (!isElementStart(type)) return misplaced("outside an element");
            elementSeen = true;
            state = State::Element;
            element = type;
            elementRecords = 0;
            return std::nullopt;
        case State::Element:
            if (type == ENDEL) {
                // The records every reader needs: XY in each element, the
                // name of a reference, the lattice of an array, the layer
                // of a shape, the string of a text.
                const bool reference = element == SREF || element == AREF;
                const unsigned needed =
                    bit(XY) | (reference ? bit(SNAME) : bit(LAYER)) |
                    (element == AREF ? bit(COLROW) : 0u) | (element == TEXT ? bit(STRING) : 0u);
                if ((elementRecords & needed) != needed)
                    return fail(record, recordName(element) + " element without the records it needs");
                state = State::Structure;
                return std::nullopt;
            }
            if (type < 32) elementRecords |= bit(type);
            if (!isElementRecord(type)) {
                return fail(record, "element without ENDEL before its " + recordName(type) +
                                        " record");
            }
            if (type == SNAME) references.insert(asciiValue(record));
            if (type == XY) return checkPoints(record);
            return std::nullopt;
        case State::Done:
            return misplaced("after ENDLIB");
        case State::Failed:
            break;
    }
    return fail(record, "the library was already found faulty");
}

}  // namespace quillon::reader
