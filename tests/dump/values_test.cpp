// Decoding of GDSII reals and strings: exact decimals, nearest doubles,
// escapes.
#include <gtest/gtest.h>

#include "gds_values.h"
#include "hex.h"

namespace {

std::string exact8(const std::string& text) {
    const auto bytes = hex(text);
    return quillon::reader::exactReal(bytes.data(), 8);
}

std::string nearest8(const std::string& text) {
    const auto bytes = hex(text);
    return quillon::reader::shortReal(bytes.data(), 8);
}

std::string quoted(const std::string& text) {
    const auto bytes = hex(text);
    return quillon::reader::quoteAscii(bytes.data(), bytes.size());
}

TEST(ExactReal, DecodesTheWorkedConversionsOfTheStreamFormat) {
    EXPECT_EQ(exact8("41 10 00 00 00 00 00 00"), "1");
    EXPECT_EQ(exact8("40 80 00 00 00 00 00 00"), "0.5");
    EXPECT_EQ(exact8("42 10 00 00 00 00 00 00"), "16");
    EXPECT_EQ(exact8("42 5A 00 00 00 00 00 00"), "90");
    EXPECT_EQ(exact8("C1 28 00 00 00 00 00 00"), "-2.5");
    EXPECT_EQ(exact8("41 28 00 00 00 00 00 00"), "2.5");
    EXPECT_EQ(exact8("40 19 99 99 99 99 99 9A"),
              "0.1000000000000000055511151231257827021181583404541015625");
    EXPECT_EQ(exact8("3C 10 C6 F7 A0 B5 ED 8D"),
              "0.000000999999999999999954748111825886258685613938723690807819366455078125");
}

TEST(ExactReal, WritesZeroForEveryZeroFraction) {
    EXPECT_EQ(exact8("00 00 00 00 00 00 00 00"), "0");
    EXPECT_EQ(exact8("80 00 00 00 00 00 00 00"), "0");
    EXPECT_EQ(exact8("45 00 00 00 00 00 00 00"), "0");
}

TEST(ExactReal, ExpandsTheExtremesOfTheRangeInFull) {
    // The largest REAL8, (2^56 - 1) * 2^196, and the smallest normalised
    // one, 16^-65 = 2^-260, which has 260 decimal places.
    EXPECT_EQ(exact8("7F FF FF FF FF FF FF FF"),
              "7237005577332262113539558796856102019456743270279872594828411889070018396160");
    EXPECT_EQ(exact8("FF FF FF FF FF FF FF FF"),
              "-7237005577332262113539558796856102019456743270279872594828411889070018396160");
    const std::string tiny = exact8("00 10 00 00 00 00 00 00");
    EXPECT_EQ(tiny.size(), 262u);
    EXPECT_EQ(tiny.substr(0, 2 + 78 + 10), "0." + std::string(78, '0') + "5397605346");
    EXPECT_EQ(tiny.substr(tiny.size() - 15), "792633056640625");
}

TEST(ExactReal, DecodesUnnormalisedFractions) {
    // 16 * 2^-56 = 2^-52; the first fraction digit being zero changes nothing.
    EXPECT_EQ(exact8("41 00 00 00 00 00 00 01"), "0.0000000000000002220446049250313080847263336181640625");
    EXPECT_EQ(exact8("42 01 00 00 00 00 00 00"), "1");
}

TEST(ExactReal, DecodesFourByteReals) {
    const auto one = hex("41 10 00 00");
    const auto tenth = hex("40 19 99 9A");
    EXPECT_EQ(quillon::reader::exactReal(one.data(), 4), "1");
    EXPECT_EQ(quillon::reader::exactReal(tenth.data(), 4), "0.10000002384185791015625");
}

TEST(ShortReal, GivesTheShortestTextOfTheNearestDouble) {
    EXPECT_EQ(nearest8("3E 41 89 37 4B C6 A7 F0"), "0.001");
    EXPECT_EQ(nearest8("39 44 B8 2F A0 9B 5A 54"), "1e-09");
    EXPECT_EQ(nearest8("C1 28 00 00 00 00 00 00"), "-2.5");
    EXPECT_EQ(nearest8("40 19 99 99 99 99 99 9A"), "0.1");
    EXPECT_EQ(nearest8("00 00 00 00 00 00 00 00"), "0");
    EXPECT_EQ(nearest8("C2 5A 00 00 00 00 00 00"), "-90");
    EXPECT_EQ(nearest8("7F FF FF FF FF FF FF FF"), "7.237005577332262e+75");
}

TEST(QuoteAscii, DropsOnePaddingNulAndEscapesTheRest) {
    EXPECT_EQ(quoted("41 42 43 00"), "\"ABC\"");
    EXPECT_EQ(quoted("41 42"), "\"AB\"");
    EXPECT_EQ(quoted(""), "\"\"");
    EXPECT_EQ(quoted("41 00 00 00"), "\"A\\x00\\x00\"");
    EXPECT_EQ(quoted("22 5C 0A 7F 80 FF"), "\"\\\"\\\\\\x0A\\x7F\\x80\\xFF\"");
    EXPECT_EQ(quoted("20 7E"), "\" ~\"");
}

}  // namespace
