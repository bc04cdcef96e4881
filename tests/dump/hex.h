// Test input written as hex text: "00 06 00 02 00 03" -> six bytes.
#pragma once

#include <cctype>
#include <optional>
#include <sstream>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "gds_dump.h"
#include "record_reader.h"

inline std::vector<std::uint8_t> hex(const std::string& text) {
    std::vector<std::uint8_t> bytes;
    std::string digits;
    for (char c : text) {
        if (std::isxdigit(static_cast<unsigned char>(c))) digits += c;
    }
    if (digits.size() % 2 != 0) throw std::invalid_argument("odd number of hex digits");
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::stoi(digits.substr(i, 2), nullptr, 16)));
    }
    return bytes;
}

inline std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> a,
                                           const std::vector<std::uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// The listing of bytes, one string per line, and the parse error if any.
struct Listing {
    std::vector<std::string> lines;
    std::optional<quillon::reader::ParseError> error;
};

inline Listing list(const std::vector<std::uint8_t>& bytes) {
    std::ostringstream out;
    quillon::reader::Dumper dumper(out);
    Listing listing;
    listing.error = quillon::reader::readRecords(bytes.data(), bytes.size(),
                                         [&](const quillon::reader::Record& r) { dumper.record(r); });
    std::istringstream in(out.str());
    for (std::string line; std::getline(in, line);) listing.lines.push_back(line);
    return listing;
}

// The HEADER and ENDLIB records that frame a minimal file.
inline const std::vector<std::uint8_t> headerRecord = hex("00 06 00 02 00 03");
inline const std::vector<std::uint8_t> endlibRecord = hex("00 04 04 00");
