#include "gds_records.h"

namespace quillon::reader {

namespace {

// Indexed by record type number.
const char* const recordNames[knownRecordTypes] = {
    "HEADER",     "BGNLIB",    "LIBNAME",   "UNITS",       "ENDLIB",       "BGNSTR",
    "STRNAME",    "ENDSTR",    "BOUNDARY",  "PATH",        "SREF",         "AREF",
    "TEXT",       "LAYER",     "DATATYPE",  "WIDTH",       "XY",           "ENDEL",
    "SNAME",      "COLROW",    "TEXTNODE",  "NODE",        "TEXTTYPE",     "PRESENTATION",
    "SPACING",    "STRING",    "STRANS",    "MAG",         "ANGLE",        "UINTEGER",
    "USTRING",    "REFLIBS",   "FONTS",     "PATHTYPE",    "GENERATIONS",  "ATTRTABLE",
    "STYPTABLE",  "STRTYPE",   "ELFLAGS",   "ELKEY",       "LINKTYPE",     "LINKKEYS",
    "NODETYPE",   "PROPATTR",  "PROPVALUE", "BOX",         "BOXTYPE",      "PLEX",
    "BGNEXTN",    "ENDEXTN",   "TAPENUM",   "TAPECODE",    "STRCLASS",     "RESERVED",
    "FORMAT",     "MASK",      "ENDMASKS",  "LIBDIRSIZE",  "SRFNAME",      "LIBSECUR",
};

// Indexed by data type number.
const char* const dataTypeNames[] = {"NODATA", "BITARRAY", "INT2", "INT4",
                                     "REAL4",  "REAL8",    "ASCII"};

}  // namespace

std::string recordName(unsigned recordType) {
    if (recordType < knownRecordTypes) return recordNames[recordType];
    return "UNKNOWN(" + std::to_string(recordType) + ")";
}

std::string dataTypeName(unsigned dataType) {
    if (dataType < sizeof(dataTypeNames) / sizeof(dataTypeNames[0])) {
        return dataTypeNames[dataType];
    }
    return "TYPE(" + std::to_string(dataType) + ")";
}

bool isElementStart(unsigned recordType) {
    switch (recordType) {
        case BOUNDARY:
        case PATH:
        case SREF:
        case AREF:
        case TEXT:
        case TEXTNODE:
        case NODE:
        case BOX:
            return true;
        default:
            return false;
    }
}

}  // namespace quillon::reader
