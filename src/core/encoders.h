// Encoders of the GDSII data types. Pure functions: each returns its bytes in
// file order (big-endian), ready for the matching ByteSink operation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace quillon {

using Bytes2 = std::array<std::uint8_t, 2>;
using Bytes4 = std::array<std::uint8_t, 4>;
using Bytes8 = std::array<std::uint8_t, 8>;

// The low 16 bits of value, most significant byte first: 65541 -> 00 05,
// -1 -> FF FF. Used for record lengths, INT2 and BITARRAY values.
constexpr Bytes2 toBigEndian16(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

// The two's-complement form of value, most significant byte first (INT4).
constexpr Bytes4 toBigEndian32(std::int32_t value) {
    const auto bits = static_cast<std::uint32_t>(value);
    return {static_cast<std::uint8_t>(bits >> 24), static_cast<std::uint8_t>(bits >> 16),
            static_cast<std::uint8_t>(bits >> 8), static_cast<std::uint8_t>(bits)};
}

// Reverses the n bytes at bytes in place and returns bytes.
std::uint8_t* reverseBytes(std::uint8_t* bytes, std::size_t n);

// Big-endian stores: each writes its value at p, most significant byte
// first, as one machine store of the byte-swapped value, and returns the
// address just past it. p needs no alignment.
inline std::uint8_t* storeBigEndian16(std::uint8_t* p, std::uint32_t value);
inline std::uint8_t* storeBigEndian32(std::uint8_t* p, std::uint32_t value);
inline std::uint8_t* storeBigEndian64(std::uint8_t* p, std::uint64_t value);

// The GDSII 8-byte real: sign bit, 7-bit excess-64 exponent of 16, 56-bit
// fraction F with value F / 2^56 * 16^(exponent - 64), normalised so that
// 1/16 <= F / 2^56 < 1. Every finite double whose magnitude lies in
// [16^-65, 16^63) is represented exactly. Values with no REAL8 form are
// clamped: larger magnitudes and infinities give the largest REAL8 of their
// sign, smaller magnitudes and NaN give zero. Zero (also -0) is 8 zero bytes.
Bytes8 toReal8(double value);

// The same eight bytes as one number, byte 0 most significant.
inline std::uint64_t real8Bits(double value);

// The number of bytes before the terminator of text, plus one when that
// number is odd: the data length of an ASCII record holding text.
inline std::size_t paddedLength(const char* text) {
    const std::size_t length = std::strlen(text);
    return length + (length & 1);
}

// The largest data length a record can carry: its 16-bit length field
// counts the 4 header bytes too, and lengths stay even.
inline constexpr std::size_t maxRecordData = 65530;

// Whether text fits the data of one ASCII record.
inline bool fitsStringRecord(const char* text) { return paddedLength(text) <= maxRecordData; }

namespace detail {

constexpr bool littleEndianHost =
#if defined(__BYTE_ORDER__) && defined(__ORDER_BIG_ENDIAN__) && \
    __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    false;
#else
    true;
#endif

inline std::uint16_t swap16(std::uint16_t v) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap16(v);
#else
    return static_cast<std::uint16_t>((v >> 8) | (v << 8));
#endif
}

inline std::uint32_t swap32(std::uint32_t v) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap32(v);
#else
    return (v >> 24) | ((v >> 8) & 0xFF00u) | ((v << 8) & 0xFF0000u) | (v << 24);
#endif
}

inline std::uint64_t swap64(std::uint64_t v) {
#if defined(__GNUC__) || defined(__clang__)
    return __builtin_bswap64(v);
#else
    return (static_cast<std::uint64_t>(swap32(static_cast<std::uint32_t>(v))) << 32) |
           swap32(static_cast<std::uint32_t>(v >> 32));
#endif
}

}  // namespace detail

inline std::uint8_t* storeBigEndian16(std::uint8_t* p, std::uint32_t value) {
    std::uint16_t v = static_cast<std::uint16_t>(value);
    if (detail::littleEndianHost) v = detail::swap16(v);
    std::memcpy(p, &v, 2);
    return p + 2;
}

inline std::uint8_t* storeBigEndian32(std::uint8_t* p, std::uint32_t value) {
    if (detail::littleEndianHost) value = detail::swap32(value);
    std::memcpy(p, &value, 4);
    return p + 4;
}

inline std::uint8_t* storeBigEndian64(std::uint8_t* p, std::uint64_t value) {
    if (detail::littleEndianHost) value = detail::swap64(value);
    std::memcpy(p, &value, 8);
    return p + 8;
}

inline std::uint64_t real8Bits(double value) {
    // Works on the IEEE 754 fields of the double: value = mantissa / 2^53 *
    // 2^binaryExponent with the 53-bit mantissa's top bit set (the exponent
    // as frexp counts it).
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    constexpr std::uint64_t hiddenBit = std::uint64_t{1} << 52;
    constexpr std::uint64_t largestMagnitude = 0x7FFFFFFFFFFFFFFFu;
    const std::uint64_t sign = bits & (std::uint64_t{1} << 63);
    const int field = static_cast<int>((bits >> 52) & 0x7FF);
    const std::uint64_t mantissa = (bits & (hiddenBit - 1)) | hiddenBit;
    // Zero and the subnormals, all far below 16^-65.
    if (field == 0) return 0;
    // Infinity clamps, NaN gives zero.
    if (field == 0x7FF) return mantissa == hiddenBit ? sign | largestMagnitude : 0;
    const int binaryExponent = field - 1022;
    // 16^63 = 2^252 is the first magnitude past the largest REAL8, and
    // 16^-65 = 2^-260 the smallest normalised one.
    if (binaryExponent > 252) return sign | largestMagnitude;
    if (binaryExponent <= -260) return 0;
    // Choose the power of 16 so that magnitude / 16^hexExponent lies in
    // [1/16, 1): hexExponent = ceil(binaryExponent / 4). The 53 mantissa
    // bits then sit, unchanged, 0 to 3 bits below the top of the 56-bit
    // fraction, so the conversion is exact with no rounding step at all.
    const int hexExponent =
        binaryExponent > 0 ? (binaryExponent + 3) / 4 : -((-binaryExponent) / 4);
    const int shift = binaryExponent - 4 * hexExponent + 3;  // 0 to 3
    return sign | (static_cast<std::uint64_t>(hexExponent + 64) << 56) | (mantissa << shift);
}

}  // namespace quillon
