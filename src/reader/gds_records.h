// Names of the GDSII Stream record types and data types, as the reader
// and quillon-dump show them. Covers every record type of the GDSII Stream Format standard
// (release 6 and earlier), not only those that Quillon writes.
#pragma once

#include <string>

namespace quillon::reader {

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

// Record types (the first header byte of a record).
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
    SPACING = 24,
    STRING = 25,
    STRANS = 26,
    MAG = 27,
    ANGLE = 28,
    UINTEGER = 29,
    USTRING = 30,
    REFLIBS = 31,
    FONTS = 32,
    PATHTYPE = 33,
    GENERATIONS = 34,
    ATTRTABLE = 35,
    STYPTABLE = 36,
    STRTYPE = 37,
    ELFLAGS = 38,
    ELKEY = 39,
    LINKTYPE = 40,
    LINKKEYS = 41,
    NODETYPE = 42,
    PROPATTR = 43,
    PROPVALUE = 44,
    BOX = 45,
    BOXTYPE = 46,
    PLEX = 47,
    BGNEXTN = 48,
    ENDEXTN = 49,
    TAPENUM = 50,
    TAPECODE = 51,
    STRCLASS = 52,
    RESERVED = 53,
    FORMAT = 54,
    MASK = 55,
    ENDMASKS = 56,
    LIBDIRSIZE = 57,
    SRFNAME = 58,
    LIBSECUR = 59,
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

}  // namespace quillon::reader
