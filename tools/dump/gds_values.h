// Decoding of GDSII data values into text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace quillon::reader {

// The exact decimal value of a GDSII real of size bytes (8 for REAL8, 4 for
// REAL4): sign bit, 7-bit excess-64 exponent of 16, then the fraction F with
// value F / 2^(8 * (size - 1)) * 16^(exponent - 64). Every such value has a
// finite decimal expansion, written in full: "0.5", "-2.5", "90",
// "0.001000000000000000020816681711721685132943093776702880859375".
std::string exactReal(const std::uint8_t* bytes, std::size_t size);

// The value as the nearest double, in the shortest form that reads back as
// the same double ("0.001", "1e-09").
std::string shortReal(const std::uint8_t* bytes, std::size_t size);

// The value as a double (rounded to nearest where the fraction needs more
// than 53 bits).
double realValue(const std::uint8_t* bytes, std::size_t size);

// ASCII data in double quotes. One trailing NUL, the padding to an even
// length, is dropped; quotes and backslashes are escaped as \" and \\, and
// every byte outside 0x20 to 0x7E as \xNN.
std::string quoteAscii(const std::uint8_t* data, std::size_t length);

}  // namespace quillon::reader
