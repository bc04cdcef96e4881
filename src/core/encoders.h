// Encoders of the GDSII data types. Pure functions: each returns its bytes in
// file order (big-endian), ready for the matching ByteSink operation.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

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

// The GDSII 8-byte real: sign bit, 7-bit excess-64 exponent of 16, 56-bit
// fraction F with value F / 2^56 * 16^(exponent - 64), normalised so that
// 1/16 <= F / 2^56 < 1. Every finite double whose magnitude lies in
// [16^-65, 16^63) is represented exactly. Values with no REAL8 form are
// clamped: larger magnitudes and infinities give the largest REAL8 of their
// sign, smaller magnitudes and NaN give zero. Zero (also -0) is 8 zero bytes.
Bytes8 toReal8(double value);

// The number of bytes before the terminator of text, plus one when that
// number is odd: the data length of an ASCII record holding text.
std::size_t paddedLength(const char* text);

// The largest data length a record can carry: its 16-bit length field
// counts the 4 header bytes too, and lengths stay even.
inline constexpr std::size_t maxRecordData = 65530;

// Whether text fits the data of one ASCII record.
inline bool fitsStringRecord(const char* text) { return paddedLength(text) <= maxRecordData; }

}  // namespace quillon
