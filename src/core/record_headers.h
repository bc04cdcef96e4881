// The two header bytes (record type, data type) of every GDSII record the
// library writes, exactly as they stand in the file. Every writer takes its
// headers from this one table; no other file spells a record header.
#pragma once

#include <cstdint>

namespace quillon {

enum class Record : std::uint8_t {
    HEADER,
    BGNLIB,
    LIBNAME,
    UNITS,
    ENDLIB,
    BGNSTR,
    STRNAME,
    ENDSTR,
    BOUNDARY,
    PATH,
    SREF,
    AREF,
    TEXT,
    LAYER,
    DATATYPE,
    WIDTH,
    XY,
    ENDEL,
    SNAME,
    COLROW,
    NODE,
    TEXTTYPE,
    PRESENTATION,
    STRING,
    STRANS,
    MAG,
    ANGLE,
    PATHTYPE,
    ELFLAGS,
    NODETYPE,
    BOX,
    BOXTYPE,
    PLEX,
    PROPATTR,
    PROPVALUE,
    BGNEXTN,
    ENDEXTN,
    count
};

// GDSII data types (second header byte).
namespace dataType {
inline constexpr std::uint8_t noData = 0x00;
inline constexpr std::uint8_t bitArray = 0x01;
inline constexpr std::uint8_t int2 = 0x02;
inline constexpr std::uint8_t int4 = 0x03;
inline constexpr std::uint8_t real8 = 0x05;
inline constexpr std::uint8_t ascii = 0x06;
}  // namespace dataType

// Indexed by Record, in the same order.
inline constexpr std::uint8_t recordHeaders[][2] = {
    {0x00, dataType::int2},      // HEADER
    {0x01, dataType::int2},      // BGNLIB
    {0x02, dataType::ascii},     // LIBNAME
    {0x03, dataType::real8},     // UNITS
    {0x04, dataType::noData},    // ENDLIB
    {0x05, dataType::int2},      // BGNSTR
    {0x06, dataType::ascii},     // STRNAME
    {0x07, dataType::noData},    // ENDSTR
    {0x08, dataType::noData},    // BOUNDARY
    {0x09, dataType::noData},    // PATH
    {0x0A, dataType::noData},    // SREF
    {0x0B, dataType::noData},    // AREF
    {0x0C, dataType::noData},    // TEXT
    {0x0D, dataType::int2},      // LAYER
    {0x0E, dataType::int2},      // DATATYPE
    {0x0F, dataType::int4},      // WIDTH
    {0x10, dataType::int4},      // XY
    {0x11, dataType::noData},    // ENDEL
    {0x12, dataType::ascii},     // SNAME
    {0x13, dataType::int2},      // COLROW
    {0x15, dataType::noData},    // NODE
    {0x16, dataType::int2},      // TEXTTYPE
    {0x17, dataType::bitArray},  // PRESENTATION
    {0x19, dataType::ascii},     // STRING
    {0x1A, dataType::bitArray},  // STRANS
    {0x1B, dataType::real8},     // MAG
    {0x1C, dataType::real8},     // ANGLE
    {0x21, dataType::int2},      // PATHTYPE
    {0x26, dataType::bitArray},  // ELFLAGS
    {0x2A, dataType::int2},      // NODETYPE
    {0x2D, dataType::noData},    // BOX
    {0x2E, dataType::int2},      // BOXTYPE
    {0x2F, dataType::int4},      // PLEX
    {0x2B, dataType::int2},      // PROPATTR
    {0x2C, dataType::ascii},     // PROPVALUE
    {0x30, dataType::int4},      // BGNEXTN
    {0x31, dataType::int4},      // ENDEXTN
};

static_assert(sizeof(recordHeaders) / sizeof(recordHeaders[0]) ==
                  static_cast<int>(Record::count),
              "one header per Record, in the order of Record");

// The INT2 value 3 that HEADER carries: GDSII Stream format version 3.
inline constexpr std::uint8_t streamVersion[2] = {0x00, 0x03};

inline constexpr const std::uint8_t* headerOf(Record record) {
    return recordHeaders[static_cast<int>(record)];
}

}  // namespace quillon
