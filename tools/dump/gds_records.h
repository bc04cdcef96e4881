// Names of the GDSII Stream record types and data types, as the reader
// shows them. Covers every record type of the GDSII Stream Format standard
// (release 6 and earlier), not only those that Quillon writes.
#pragma once

#include <string>

namespace gdsdump {

// GDSII data types (the second header byte of a record).
enum DataType : unsigned {
    NoData = 0,
    BitArray = 1,
    Int2 = 2,
    Int4 = 3,
    Real4 = 4,
    Real8 = 5,
    Ascii = 6,
};

// Record types the reader interprets (the first header byte of a record).
enum RecordType : unsigned {
    HEADER = 0,
    BGNLIB = 1,
    LIBNAME = 2,
    UNITS = 3,
    ENDLIB = 4,
    BGNSTR = 5,
    STRNAME = 6,
    ENDSTR = 7,
    BOUNDARY = 8,
    PATH = 9,
    SREF = 10,
    AREF = 11,
    TEXT = 12,
    LAYER = 13,
    DATATYPE = 14,
    WIDTH = 15,
    XY = 16,
    ENDEL = 17,
    SNAME = 18,
    COLROW = 19,
    TEXTNODE = 20,
    NODE = 21,
    TEXTTYPE = 22,
    PRESENTATION = 23,
    STRING = 25,
    STRANS = 26,
    MAG = 27,
    ANGLE = 28,
    PATHTYPE = 33,
    ELFLAGS = 38,
    NODETYPE = 42,
    BOX = 45,
    BOXTYPE = 46,
    PLEX = 47,
};

// The number of record types the standard names (0 to 59).
inline constexpr unsigned knownRecordTypes = 60;

// "BOUNDARY" for 8; an unknown record type is shown by its number, as
// "UNKNOWN(60)".
std::string recordName(unsigned recordType);

// "INT2" for 2; an unknown data type is shown as "TYPE(9)".
std::string dataTypeName(unsigned dataType);

// Whether the record type opens an element (BOUNDARY, PATH, SREF, AREF,
// TEXT, TEXTNODE, NODE, BOX).
bool isElementStart(unsigned recordType);

}  // namespace gdsdump
