// The record listing of quillon-dump on hand-made files: one line per record
// with offset, length, name, data type and decoded data, indented by nesting.
#include <gtest/gtest.h>

#include <cstdio>

#include "gds_records.h"
#include "hex.h"

namespace {

// A library with one structure holding one element of every kind, written
// record by record as hex. Offsets in the comments.
const char* const everyElementKind =
    "00 06 00 02 00 03"                                        //   0 HEADER
    "00 1C 01 02 00 7C 00 01 00 02 00 03 00 04 00 05"          //   6 BGNLIB
    "            00 7D 00 0C 00 1F 00 17 00 3B 00 3B"
    "00 0A 02 06 4C 49 42 2E 44 42"                            //  34 LIBNAME
    "00 14 03 05 3E 41 89 37 4B C6 A7 F0 39 44 B8 2F A0 9B 5A 54"  // 44 UNITS
    "00 1C 05 02 00 7C 00 06 00 0F 00 0C 00 00 00 00"          //  64 BGNSTR
    "            00 7C 00 06 00 0F 00 0C 00 00 00 00"
    "00 08 06 06 54 4F 50 00"                                  //  92 STRNAME
    "00 04 08 00"                                              // 100 BOUNDARY
    "00 06 26 01 00 03"                                        // 104 ELFLAGS
    "00 08 2F 03 00 00 00 07"                                  // 110 PLEX
    "00 06 0D 02 00 01"                                        // 118 LAYER
    "00 06 0E 02 FF FF"                                        // 124 DATATYPE
    "00 24 10 03 00 00 00 00 00 00 00 00 00 00 00 0A 00 00 00 00"  // 130 XY
    "            FF FF FF F6 00 00 00 14 00 00 00 00 00 00 00 00"
    "00 04 11 00"                                              // 166 ENDEL
    "00 04 09 00"                                              // 170 PATH
    "00 06 21 02 00 04"                                        // 174 PATHTYPE
    "00 08 0F 03 FF FF FF F6"                                  // 180 WIDTH
    "00 08 30 03 00 00 00 05"                                  // 188 BGNEXTN
    "00 14 10 03 7F FF FF FF 80 00 00 00 00 00 00 01 00 00 00 02"  // 196 XY
    "00 04 11 00"                                              // 216 ENDEL
    "00 04 0A 00"                                              // 220 SREF
    "00 06 12 06 41 42"                                        // 224 SNAME
    "00 06 1A 01 80 06"                                        // 230 STRANS
    "00 0C 1B 05 41 20 00 00 00 00 00 00"                      // 236 MAG
    "00 0C 1C 05 C2 5A 00 00 00 00 00 00"                      // 248 ANGLE
    "00 0C 10 03 00 00 00 64 FF FF FF 38"                      // 260 XY
    "00 04 11 00"                                              // 272 ENDEL
    "00 04 0B 00"                                              // 276 AREF
    "00 06 12 06 41 00"                                        // 280 SNAME
    "00 08 13 02 00 03 00 02"                                  // 286 COLROW
    "00 1C 10 03 00 00 00 00 00 00 00 00 00 00 01 2C 00 00 00 00"  // 294 XY
    "            00 00 00 00 00 00 00 C8"
    "00 04 11 00"                                              // 322 ENDEL
    "00 04 0C 00"                                              // 326 TEXT
    "00 06 16 02 00 05"                                        // 330 TEXTTYPE
    "00 06 17 01 00 16"                                        // 336 PRESENTATION
    "00 0A 19 06 71 22 5C 01 E9 00"                            // 342 STRING
    "00 04 11 00"                                              // 352 ENDEL
    "00 04 15 00"                                              // 356 NODE
    "00 06 2A 02 00 01"                                        // 360 NODETYPE
    "00 04 11 00"                                              // 366 ENDEL
    "00 04 2D 00"                                              // 370 BOX
    "00 06 2E 02 00 02"                                        // 374 BOXTYPE
    "00 06 2B 02 00 01"                                        // 380 PROPATTR
    "00 08 2C 06 61 62 63 00"                                  // 386 PROPVALUE
    "00 04 11 00"                                              // 394 ENDEL
    "00 06 3C 02 00 2A"                                        // 398 record type 60
    "00 04 07 00"                                              // 404 ENDSTR
    "00 04 04 00";                                             // 408 ENDLIB

TEST(Listing, ShowsEveryElementKindWithOffsetsLengthsAndNesting) {
    const Listing listing = list(hex(everyElementKind));
    ASSERT_FALSE(listing.error) << listing.error->message;
    const std::vector<std::string> expected = {
        "         0      6  HEADER INT2 3",
        "         6     28  BGNLIB INT2 124 1 2 3 4 5 125 12 31 23 59 59 (modified 2024-01-02 "
        "03:04:05, accessed 2025-12-31 23:59:59)",
        "        34     10    LIBNAME ASCII \"LIB.DB\"",
        "        44     20    UNITS REAL8 "
        "0.001000000000000000020816681711721685132943093776702880859375 (~0.001) "
        "0.0000000010000000000000000622815914577798564188970686927859787829220294952392578125 "
        "(~1e-09)",
        "        64     28    BGNSTR INT2 124 6 15 12 0 0 124 6 15 12 0 0 (modified 2024-06-15 "
        "12:00:00, accessed 2024-06-15 12:00:00)",
        "        92      8      STRNAME ASCII \"TOP\"",
        "       100      4      BOUNDARY NODATA",
        "       104      6        ELFLAGS BITARRAY 0x0003 (template, external)",
        "       110      8        PLEX INT4 7",
        "       118      6        LAYER INT2 1",
        "       124      6        DATATYPE INT2 -1",
        "       130     36        XY INT4 4 points: (0, 0) (10, 0) (-10, 20) (0, 0)",
        "       166      4      ENDEL NODATA",
        "       170      4      PATH NODATA",
        "       174      6        PATHTYPE INT2 4",
        "       180      8        WIDTH INT4 -10",
        "       188      8        BGNEXTN INT4 5",
        "       196     20        XY INT4 2 points: (2147483647, -2147483648) (1, 2)",
        "       216      4      ENDEL NODATA",
        "       220      4      SREF NODATA",
        "       224      6        SNAME ASCII \"AB\"",
        "       230      6        STRANS BITARRAY 0x8006 (reflected, absolute magnification, "
        "absolute angle)",
        "       236     12        MAG REAL8 2",
        "       248     12        ANGLE REAL8 -90",
        "       260     12        XY INT4 1 point: (100, -200)",
        "       272      4      ENDEL NODATA",
        "       276      4      AREF NODATA",
        "       280      6        SNAME ASCII \"A\"",
        "       286      8        COLROW INT2 3 2",
        "       294     28        XY INT4 3 points: (0, 0) (300, 0) (0, 200)",
        "       322      4      ENDEL NODATA",
        "       326      4      TEXT NODATA",
        "       330      6        TEXTTYPE INT2 5",
        "       336      6        PRESENTATION BITARRAY 0x0016 (font 1, middle, right)",
        "       342     10        STRING ASCII \"q\\\"\\\\\\x01\\xE9\"",
        "       352      4      ENDEL NODATA",
        "       356      4      NODE NODATA",
        "       360      6        NODETYPE INT2 1",
        "       366      4      ENDEL NODATA",
        "       370      4      BOX NODATA",
        "       374      6        BOXTYPE INT2 2",
        "       380      6        PROPATTR INT2 1",
        "       386      8        PROPVALUE ASCII \"abc\"",
        "       394      4      ENDEL NODATA",
        "       398      6      UNKNOWN(60) INT2 42",
        "       404      4    ENDSTR NODATA",
        "       408      4  ENDLIB NODATA",
    };
    EXPECT_EQ(listing.lines, expected);
}

TEST(Listing, NamesEveryStandardRecordTypeAndShowsOthersByNumber) {
    // One NODATA record of each type from 1 to 59 (ENDLIB last), then 60 and 255.
    std::string text = "00 06 00 02 00 03";
    char record[16];
    for (int type = 1; type < 60; ++type) {
        if (type == 4) continue;
        std::snprintf(record, sizeof record, " 00 04 %02X 00", type);
        text += record;
    }
    text += " 00 04 3C 00 00 04 FF 00 00 04 04 00";
    const Listing listing = list(hex(text));
    ASSERT_FALSE(listing.error) << listing.error->message;
    const char* const names[] = {
        "HEADER",    "BGNLIB",    "LIBNAME",   "UNITS",      "BGNSTR",      "STRNAME",
        "ENDSTR",    "BOUNDARY",  "PATH",      "SREF",       "AREF",        "TEXT",
        "LAYER",     "DATATYPE",  "WIDTH",     "XY",         "ENDEL",       "SNAME",
        "COLROW",    "TEXTNODE",  "NODE",      "TEXTTYPE",   "PRESENTATION", "SPACING",
        "STRING",    "STRANS",    "MAG",       "ANGLE",      "UINTEGER",    "USTRING",
        "REFLIBS",   "FONTS",     "PATHTYPE",  "GENERATIONS", "ATTRTABLE",  "STYPTABLE",
        "STRTYPE",   "ELFLAGS",   "ELKEY",     "LINKTYPE",   "LINKKEYS",    "NODETYPE",
        "PROPATTR",  "PROPVALUE", "BOX",       "BOXTYPE",    "PLEX",        "BGNEXTN",
        "ENDEXTN",   "TAPENUM",   "TAPECODE",  "STRCLASS",   "RESERVED",    "FORMAT",
        "MASK",      "ENDMASKS",  "LIBDIRSIZE", "SRFNAME",   "LIBSECUR",    "UNKNOWN(60)",
        "UNKNOWN(255)", "ENDLIB"};
    ASSERT_EQ(listing.lines.size(), sizeof names / sizeof names[0]);
    for (std::size_t i = 0; i < listing.lines.size(); ++i) {
        std::istringstream fields(listing.lines[i]);
        std::string offset, length, name, dataType;
        fields >> offset >> length >> name >> dataType;
        EXPECT_EQ(name, names[i]) << listing.lines[i];
        if (i == 0) continue;  // HEADER
        EXPECT_EQ(dataType, "NODATA") << listing.lines[i];
        EXPECT_EQ(length, "4") << listing.lines[i];
    }
}

TEST(Listing, ShowsUnknownDataTypeNamesAndRealFourValues) {
    EXPECT_EQ(quillon::reader::dataTypeName(4), "REAL4");
    EXPECT_EQ(quillon::reader::dataTypeName(7), "TYPE(7)");
    const Listing listing =
        list(headerRecord + hex("00 0C 18 04 41 10 00 00 C0 80 00 00") + endlibRecord);
    ASSERT_FALSE(listing.error);
    ASSERT_EQ(listing.lines.size(), 3u);
    EXPECT_EQ(listing.lines[1], "         6     12  SPACING REAL4 1 -0.5");
}

TEST(Listing, IndentsAnElementOutsideAnyStructureByTheLibraryOnly) {
    // Quillon writes an element even with no structure open when the host's
    // error handler lets the call go on: the listing shows it one level deep.
    const Listing listing = list(headerRecord +
                                 hex("00 1C 01 02 00 7C 00 01 00 01 00 00 00 00 00 00"
                                     "00 7C 00 01 00 01 00 00 00 00 00 00"
                                     "00 04 2D 00 00 06 0D 02 00 01 00 04 11 00") +
                                 endlibRecord);
    ASSERT_FALSE(listing.error);
    ASSERT_EQ(listing.lines.size(), 6u);
    EXPECT_EQ(listing.lines[2], "        34      4    BOX NODATA");
    EXPECT_EQ(listing.lines[3], "        38      6      LAYER INT2 1");
    EXPECT_EQ(listing.lines[4], "        44      4    ENDEL NODATA");
    EXPECT_EQ(listing.lines[5], "        48      4  ENDLIB NODATA");
}

TEST(Listing, ShowsTimeStampsWithFullYearsAsWritten) {
    const Listing listing = list(headerRecord +
                                 hex("00 1C 01 02 07 E8 00 02 00 1D 00 00 00 00 00 00"
                                     "00 00 00 00 00 00 00 00 00 00 00 00") +
                                 endlibRecord);
    ASSERT_FALSE(listing.error);
    EXPECT_EQ(listing.lines[1],
              "         6     28  BGNLIB INT2 2024 2 29 0 0 0 0 0 0 0 0 0 (modified 2024-02-29 "
              "00:00:00, accessed 1900-00-00 00:00:00)");
}

TEST(Listing, ShowsAStampOfOtherThanTwelveValuesAsAPlainList) {
    const Listing listing = list(headerRecord + hex("00 08 05 02 00 7C 00 01") + endlibRecord);
    ASSERT_FALSE(listing.error);
    EXPECT_EQ(listing.lines[1], "         6      8  BGNSTR INT2 124 1");
}

TEST(Listing, ShowsAnXYRecordOfAnOddNumberOfValuesAsAList) {
    const Listing listing =
        list(headerRecord + hex("00 10 10 03 00 00 00 01 00 00 00 02 FF FF FF FF") + endlibRecord);
    ASSERT_FALSE(listing.error);
    EXPECT_EQ(listing.lines[1], "         6     16  XY INT4 1 2 -1");
}

}  // namespace
