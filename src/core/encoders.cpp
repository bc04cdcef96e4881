#include "encoders.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace quillon {

std::uint8_t* reverseBytes(std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0, j = n; i + 1 < j; ++i, --j) std::swap(bytes[i], bytes[j - 1]);
    return bytes;
}

namespace {

constexpr int excess = 64;
// 16^63 = 2^252 is the first magnitude past the largest REAL8, and
// 16^-65 = 2^-260 the smallest normalised one.
constexpr int maxBinaryExponent = 252;
constexpr int minBinaryExponent = -260;

Bytes8 largestReal8(bool negative) {
    return {static_cast<std::uint8_t>(negative ? 0xFF : 0x7F), 0xFF, 0xFF, 0xFF,
            0xFF, 0xFF, 0xFF, 0xFF};
}

}  // namespace

Bytes8 toReal8(double value) {
    Bytes8 bytes{};
    if (std::isnan(value) || value == 0.0) return bytes;
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);
    if (std::isinf(magnitude)) return largestReal8(negative);

    // magnitude = mantissa * 2^binaryExponent with 0.5 <= mantissa < 1.
    int binaryExponent = 0;
    const double mantissa = std::frexp(magnitude, &binaryExponent);
    if (binaryExponent > maxBinaryExponent) return largestReal8(negative);
    if (binaryExponent <= minBinaryExponent) return bytes;

    // Choose the power of 16 so that magnitude / 16^hexExponent lies in
    // [1/16, 1): hexExponent = ceil(binaryExponent / 4). The 53 mantissa
    // bits then sit, unchanged, 0 to 3 bits below the top of the 56-bit
    // fraction, so the conversion is exact with no rounding step at all.
    const int hexExponent =
        binaryExponent > 0 ? (binaryExponent + 3) / 4 : -((-binaryExponent) / 4);
    const int shift = binaryExponent - 4 * hexExponent + 3;  // 0 to 3
    const auto mantissaBits = static_cast<std::uint64_t>(std::ldexp(mantissa, 53));
    const std::uint64_t fraction = mantissaBits << shift;

    bytes[0] = static_cast<std::uint8_t>((negative ? 0x80 : 0x00) | (hexExponent + excess));
    // Lay the fraction out in machine (little-endian) order behind the
    // exponent byte, then reverse it into file order.
    for (int i = 0; i < 7; ++i) bytes[1 + i] = static_cast<std::uint8_t>(fraction >> (8 * i));
    reverseBytes(bytes.data() + 1, 7);
    return bytes;
}

std::size_t paddedLength(const char* text) {
    const std::size_t length = std::strlen(text);
    return length + (length & 1);
}

}  // namespace quillon
