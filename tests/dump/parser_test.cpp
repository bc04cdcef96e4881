// Framing checks of the record reader: every kind of malformed input gives
// one error naming the byte offset, after the records before it were seen.
#include <gtest/gtest.h>

#include "hex.h"

namespace {

struct Outcome {
    std::size_t visited = 0;
    std::optional<quillon::reader::ParseError> error;
};

Outcome read(const std::vector<std::uint8_t>& bytes) {
    Outcome outcome;
    outcome.error = quillon::reader::readRecords(bytes.data(), bytes.size(),
                                         [&](const quillon::reader::Record&) { ++outcome.visited; });
    return outcome;
}

void expectError(const std::vector<std::uint8_t>& bytes, std::size_t offset,
                 const std::string& message, std::size_t visited) {
    const Outcome outcome = read(bytes);
    ASSERT_TRUE(outcome.error.has_value()) << "no error for: " << message;
    EXPECT_EQ(outcome.error->offset, offset) << message;
    EXPECT_EQ(outcome.error->message, message);
    EXPECT_EQ(outcome.visited, visited) << message;
}

TEST(ReadRecords, AcceptsAMinimalFileAndZeroPaddingAfterEndlib) {
    EXPECT_FALSE(read(headerRecord + endlibRecord).error);
    EXPECT_EQ(read(headerRecord + endlibRecord).visited, 2u);
    const Outcome padded = read(headerRecord + endlibRecord + std::vector<std::uint8_t>(2038, 0));
    EXPECT_FALSE(padded.error);
    EXPECT_EQ(padded.visited, 2u);
}

TEST(ReadRecords, ReportsAnEmptyFile) {
    expectError({}, 0, "empty file: no HEADER record", 0);
}

TEST(ReadRecords, ReportsATruncatedRecordHeader) {
    expectError(headerRecord + hex("00 04 04"), 6,
                "truncated record header: only 3 bytes left in the file", 1);
    expectError(headerRecord + hex("00"), 6,
                "truncated record header: only 1 bytes left in the file", 1);
}

TEST(ReadRecords, ReportsALengthBelowFour) {
    // A zero length would keep a naive reader at the same offset forever.
    expectError(headerRecord + hex("00 00 04 00"), 6, "record length 0 is below 4", 1);
    expectError(headerRecord + hex("00 02 04 00"), 6, "record length 2 is below 4", 1);
    expectError(hex("00 00 00 02"), 0, "record length 0 is below 4", 0);
}

TEST(ReadRecords, ReportsAnOddLength) {
    expectError(headerRecord + hex("00 07 0D 02 00 01 00") + endlibRecord, 6,
                "record length 7 is odd", 1);
}

TEST(ReadRecords, ReportsALengthRunningPastTheEnd) {
    expectError(headerRecord + hex("00 10 10 03 00 00 00 00"), 6,
                "XY record of length 16 runs past the end of the file (8 bytes left)", 1);
    expectError(headerRecord + hex("FF FE 3C 02"), 6,
                "UNKNOWN(60) record of length 65534 runs past the end of the file (4 bytes left)",
                1);
}

TEST(ReadRecords, ReportsAMissingEndlib) {
    expectError(headerRecord, 6, "missing ENDLIB: the file ends after 6 bytes", 1);
    expectError(headerRecord + hex("00 04 07 00 00 04 11 00"), 14,
                "missing ENDLIB: the file ends after 14 bytes", 3);
}

TEST(ReadRecords, ReportsGarbage) {
    const std::string text = "Hello, world!\n";
    expectError(std::vector<std::uint8_t>(text.begin(), text.end()), 0,
                "record length 18533 is odd", 0);
    expectError(hex("00 04 04 00"), 0,
                "not a GDSII Stream file: the first record is ENDLIB, not HEADER", 0);
    expectError(hex("00 06 3C 02 00 01"), 0,
                "not a GDSII Stream file: the first record is UNKNOWN(60), not HEADER", 0);
}

TEST(ReadRecords, ReportsDataAfterEndlib) {
    expectError(headerRecord + endlibRecord + hex("00 00 01"), 12,
                "unexpected data after ENDLIB", 2);
    expectError(headerRecord + endlibRecord + headerRecord, 11, "unexpected data after ENDLIB",
                2);
}

TEST(ReadRecords, ReportsDataThatDoesNotFitItsDataType) {
    expectError(headerRecord + hex("00 04 0D 07") + endlibRecord, 6,
                "LAYER record has unknown data type 7", 1);
    expectError(headerRecord + hex("00 06 11 00 00 00") + endlibRecord, 6,
                "ENDEL record of data type NODATA has 2 data bytes", 1);
    expectError(headerRecord + hex("00 06 10 03 00 01") + endlibRecord, 6,
                "XY record of data type INT4 has 2 data bytes, not a multiple of 4", 1);
    expectError(headerRecord + hex("00 08 1B 05 41 10 00 00") + endlibRecord, 6,
                "MAG record of data type REAL8 has 4 data bytes, not a multiple of 8", 1);
    expectError(headerRecord + hex("00 06 18 04 41 10") + endlibRecord, 6,
                "SPACING record of data type REAL4 has 2 data bytes, not a multiple of 4", 1);
}

TEST(ReadRecords, AcceptsAnyDataLengthThatFitsTheType) {
    // An ASCII record of any even length, an INT2 record of several values,
    // a BITARRAY of two words: unusual, but well framed.
    EXPECT_FALSE(read(headerRecord + hex("00 04 19 06 00 08 0D 02 00 01 00 02 00 08 1A 01 80 00 00 02") +
                      endlibRecord)
                     .error);
}

TEST(Describe, NamesTheByteOffsetInOneLine) {
    EXPECT_EQ(quillon::reader::describe({42, "record length 3 is odd"}),
              "error at byte offset 42: record length 3 is odd");
}

}  // namespace
