// The GDSII data encodings: big-endian integers, the 8-byte base-16 real and
// string padding.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "core/encoders.h"

using quillon::Bytes8;
using quillon::toReal8;

namespace {

template <std::size_t N>
std::string hexOf(const std::array<std::uint8_t, N>& bytes) {
    std::string text;
    char buffer[4];
    for (std::uint8_t b : bytes) {
        std::snprintf(buffer, sizeof buffer, "%02X ", b);
        text += buffer;
    }
    text.pop_back();
    return text;
}

// The value a REAL8 stands for: (-1)^sign * F / 2^56 * 16^(E - 64), in long
// double steps that are exact for every fraction (F has at most 56 bits and
// the scaling is by powers of two).
long double decodeReal8(const Bytes8& b) {
    std::uint64_t fraction = 0;
    for (int i = 1; i < 8; ++i) fraction = (fraction << 8) | b[i];
    const int exponent = b[0] & 0x7F;
    const long double magnitude =
        std::ldexp(static_cast<long double>(fraction), 4 * (exponent - 64) - 56);
    return (b[0] & 0x80) ? -magnitude : magnitude;
}

// An independent conversion: scale by 16 until normalised, then peel the
// fraction off bit by bit, the first bit weighing 1/2.
Bytes8 bitByBitReal8(double value) {
    Bytes8 bytes{};
    if (value == 0) return bytes;
    int sign = 0;
    int exponent = 64;
    if (value < 0) {
        sign = 1;
        value = -value;
    }
    while (value >= 1) {
        value *= 1.0 / 16;
        ++exponent;
    }
    while (value * 16 < 1) {
        value *= 16;
        --exponent;
    }
    std::uint64_t fraction = 0;
    for (int i = 1; i <= 56; ++i) {
        const double weight = 1.0 / std::pow(2.0, i);
        fraction <<= 1;
        if (value >= weight) {
            fraction |= 1;
            value -= weight;
        }
    }
    bytes[0] = static_cast<std::uint8_t>(sign * 128 + exponent);
    for (int i = 7; i >= 1; --i, fraction >>= 8) bytes[i] = static_cast<std::uint8_t>(fraction);
    return bytes;
}

TEST(BigEndian, SixteenBitsKeepOnlyTheLowHalf) {
    EXPECT_EQ(hexOf(quillon::toBigEndian16(-1)), "FF FF");
    EXPECT_EQ(hexOf(quillon::toBigEndian16(70000)), "11 70");
    EXPECT_EQ(hexOf(quillon::toBigEndian16(65541)), "00 05");
    EXPECT_EQ(hexOf(quillon::toBigEndian16(0x1234)), "12 34");
}

TEST(BigEndian, ThirtyTwoBitsAreTwosComplement) {
    EXPECT_EQ(hexOf(quillon::toBigEndian32(-2)), "FF FF FF FE");
    EXPECT_EQ(hexOf(quillon::toBigEndian32(1000)), "00 00 03 E8");
    EXPECT_EQ(hexOf(quillon::toBigEndian32(std::numeric_limits<std::int32_t>::min())),
              "80 00 00 00");
    EXPECT_EQ(hexOf(quillon::toBigEndian32(0x01020304)), "01 02 03 04");
}

TEST(ReverseBytes, ReversesInPlaceAndReturnsTheAddress) {
    std::uint8_t odd[5] = {1, 2, 3, 4, 5};
    EXPECT_EQ(quillon::reverseBytes(odd, 5), odd);
    EXPECT_EQ(std::string(odd, odd + 5), std::string("\5\4\3\2\1", 5));
    std::uint8_t even[4] = {1, 2, 3, 4};
    quillon::reverseBytes(even, 4);
    EXPECT_EQ(std::string(even, even + 4), std::string("\4\3\2\1", 4));
    std::uint8_t one[1] = {9};
    quillon::reverseBytes(one, 1);
    EXPECT_EQ(one[0], 9);
}

TEST(Real8, WorkedConversions) {
    const std::pair<double, const char*> table[] = {
        {0.0, "00 00 00 00 00 00 00 00"},    {-0.0, "00 00 00 00 00 00 00 00"},
        {1.0, "41 10 00 00 00 00 00 00"},    {0.5, "40 80 00 00 00 00 00 00"},
        {16.0, "42 10 00 00 00 00 00 00"},   {90.0, "42 5A 00 00 00 00 00 00"},
        {-2.5, "C1 28 00 00 00 00 00 00"},   {2.5, "41 28 00 00 00 00 00 00"},
        {0.1, "40 19 99 99 99 99 99 9A"},    {0.001, "3E 41 89 37 4B C6 A7 F0"},
        {1e-6, "3C 10 C6 F7 A0 B5 ED 8D"},   {1e-9, "39 44 B8 2F A0 9B 5A 54"},
        {1.0 / 256, "3F 10 00 00 00 00 00 00"}, {1.0 / 16, "40 10 00 00 00 00 00 00"},
    };
    for (const auto& [value, expected] : table) EXPECT_EQ(hexOf(toReal8(value)), expected) << value;
}

TEST(Real8, ValuesWithoutRepresentationAreClamped) {
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(hexOf(toReal8(inf)), "7F FF FF FF FF FF FF FF");
    EXPECT_EQ(hexOf(toReal8(-inf)), "FF FF FF FF FF FF FF FF");
    EXPECT_EQ(hexOf(toReal8(std::ldexp(1.0, 252))), "7F FF FF FF FF FF FF FF");  // 16^63
    EXPECT_EQ(hexOf(toReal8(-1e300)), "FF FF FF FF FF FF FF FF");
    EXPECT_EQ(hexOf(toReal8(std::numeric_limits<double>::quiet_NaN())), "00 00 00 00 00 00 00 00");
    EXPECT_EQ(hexOf(toReal8(1e-300)), "00 00 00 00 00 00 00 00");
    EXPECT_EQ(hexOf(toReal8(-std::numeric_limits<double>::denorm_min())),
              "00 00 00 00 00 00 00 00");
    // Just inside the range at both ends.
    EXPECT_EQ(hexOf(toReal8(std::nextafter(std::ldexp(1.0, 252), 0.0))),
              "7F FF FF FF FF FF FF F8");
    EXPECT_EQ(hexOf(toReal8(std::ldexp(1.0, -260))), "00 10 00 00 00 00 00 00");  // 16^-65
    EXPECT_EQ(hexOf(toReal8(std::nextafter(std::ldexp(1.0, -260), 0.0))),
              "00 00 00 00 00 00 00 00");
}

TEST(Real8, NegativeDiffersOnlyInTheSignBit) {
    for (double v : {0.001, 1.0, 3.75, 1e10, 123456.789}) {
        Bytes8 positive = toReal8(v);
        const Bytes8 negative = toReal8(-v);
        positive[0] |= 0x80;
        EXPECT_EQ(hexOf(positive), hexOf(negative)) << v;
    }
}

// Powers of 16 and their neighbours are where conversions that count digits
// with logarithms lose the last bit.
TEST(Real8, PowersOfTwoAndSixteenAndTheirNeighboursAreExact) {
    for (int e = -259; e <= 251; ++e) {
        const double power = std::ldexp(1.0, e);
        for (double v : {power, std::nextafter(power, 0.0), std::nextafter(power, 1e300)}) {
            const Bytes8 bytes = toReal8(v);
            EXPECT_EQ(decodeReal8(bytes), static_cast<long double>(v)) << e;
            EXPECT_EQ(hexOf(bytes), hexOf(bitByBitReal8(v))) << e;
            EXPECT_NE(bytes[1] & 0xF0, 0) << "not normalised at 2^" << e;
        }
    }
}

TEST(Real8, MillionRandomDoublesRoundTripExactly) {
    std::mt19937_64 random(20261207);
    std::uniform_int_distribution<int> exponent(-259, 251);
    std::uniform_real_distribution<double> mantissa(0.5, 1.0);
    std::uniform_int_distribution<std::uint64_t> bits;
    for (int i = 0; i < 1000000; ++i) {
        double v;
        if (i % 2 == 0) {
            v = std::ldexp(mantissa(random), exponent(random));
        } else {  // any bit pattern in range, all 53 mantissa bits random
            const std::uint64_t pattern = bits(random);
            std::memcpy(&v, &pattern, sizeof v);
            if (!std::isfinite(v) || std::fabs(v) >= std::ldexp(1.0, 252) ||
                std::fabs(v) < std::ldexp(1.0, -260))
                continue;
        }
        if (i % 3 == 0) v = -v;
        const Bytes8 bytes = toReal8(v);
        ASSERT_EQ(decodeReal8(bytes), static_cast<long double>(v)) << v;
        if (i % 50 == 0) {
            ASSERT_EQ(hexOf(bytes), hexOf(bitByBitReal8(v))) << v;
        }
    }
}

TEST(PaddedLength, OddLengthsGainOneByte) {
    EXPECT_EQ(quillon::paddedLength(""), 0u);
    EXPECT_EQ(quillon::paddedLength("A"), 2u);
    EXPECT_EQ(quillon::paddedLength("AB"), 2u);
    EXPECT_EQ(quillon::paddedLength("ABC"), 4u);
    EXPECT_EQ(quillon::paddedLength("ABCD"), 4u);
    EXPECT_TRUE(quillon::fitsStringRecord(std::string(65530, 'x').c_str()));
    EXPECT_TRUE(quillon::fitsStringRecord(std::string(65529, 'x').c_str()));
    EXPECT_FALSE(quillon::fitsStringRecord(std::string(65531, 'x').c_str()));
}

}  // namespace
