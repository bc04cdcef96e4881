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

// The number of bytes before the terminator of text. Names and labels are
// short: their first bytes are scanned in place of a library call.
inline std::size_t measureString(const char* text) {
    for (std::size_t i = 0; i < 8; ++i)
        if (text[i] == 0) return i;
    return 8 + std::strlen(text + 8);
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

namespace detail {

// real8Bits of the values outside the common range: zero, subnormals and
// magnitudes below 16^-65 give zero, NaN gives zero, infinities and
// magnitudes from 16^63 on the largest REAL8 of their sign.
inline std::uint64_t real8BitsOutOfRange(std::uint64_t bits) {
    constexpr std::uint64_t largestMagnitude = 0x7FFFFFFFFFFFFFFFu;
    const std::uint64_t sign = bits & (std::uint64_t{1} << 63);
    const std::uint64_t magnitude = bits & largestMagnitude;
    constexpr std::uint64_t infinity = std::uint64_t{0x7FF} << 52;
    if (magnitude > infinity) return 0;                          // NaN
    if (magnitude >= (std::uint64_t{1022 + 253} << 52)) return sign | largestMagnitude;
    return 0;
}

}  // namespace detail

// Whether value is zero or has a REAL8 form of its own: 16^-65 <= |value| <
// 16^63. Outside, real8Bits writes 0 or REAL8's largest number instead.
inline bool hasReal8Form(double value) {
    const double magnitude = value < 0 ? -value : value;
    return magnitude == 0 || (magnitude >= 0x1p-260 && magnitude < 0x1p252);
}

inline std::uint64_t real8Bits(double value) {
    // Works on the IEEE 754 fields of the double: |value| = mantissa / 2^53
    // * 2^binaryExponent with the 53-bit mantissa's top bit set (the
    // exponent as frexp counts it, field - 1022).
    std::uint64_t bits;
    std::memcpy(&bits, &value, 8);
    constexpr std::uint64_t hiddenBit = std::uint64_t{1} << 52;
    const auto field = static_cast<std::uint32_t>((bits >> 52) & 0x7FF);
    // binaryExponent + 259: 0 to 511 for the magnitudes that have a REAL8
    // form, 2^-260 (= 16^-65) up to just below 2^252 (= 16^63).
    const std::uint32_t biased = field - (1022 - 259);
    if (biased > 511) return detail::real8BitsOutOfRange(bits);
    // The power of 16 that brings the magnitude into [1/16, 1) is
    // ceil(binaryExponent / 4) = q - 65 with q = (biased + 4) / 4; the
    // REAL8 exponent is then q - 1. The 53 mantissa bits sit, unchanged,
    // 0 to 3 bits below the top of the 56-bit fraction, so the conversion
    // is exact with no rounding step at all.
    const std::uint32_t q = (biased + 4) >> 2;
    const std::uint32_t shift = biased + 4 - 4 * q;  // 0 to 3
    const std::uint64_t mantissa = (bits & (hiddenBit - 1)) | hiddenBit;
    const std::uint64_t sign = bits & (std::uint64_t{1} << 63);
    return sign | (static_cast<std::uint64_t>(q - 1) << 56) | (mantissa << shift);
}

}  // namespace quillon
