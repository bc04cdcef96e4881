#include "gds_values.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace quillon::reader {

namespace {

// A non-negative integer in base 10^9, least significant limb first: just
// enough arithmetic to expand F * 2^k or F * 5^k exactly.
class BigDecimal {
public:
    explicit BigDecimal(std::uint64_t value) {
        do {
            limbs.push_back(static_cast<std::uint32_t>(value % base));
            value /= base;
        } while (value != 0);
    }

    void multiply(std::uint32_t factor) {
        std::uint64_t carry = 0;
        for (auto& limb : limbs) {
            const std::uint64_t product = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(product % base);
            carry = product / base;
        }
        while (carry != 0) {
            limbs.push_back(static_cast<std::uint32_t>(carry % base));
            carry /= base;
        }
    }

    std::string digits() const {
        std::string text = std::to_string(limbs.back());
        char chunk[16];
        for (std::size_t i = limbs.size() - 1; i-- > 0;) {
            std::snprintf(chunk, sizeof chunk, "%09u", static_cast<unsigned>(limbs[i]));
            text += chunk;
        }
        return text;
    }

private:
    static constexpr std::uint64_t base = 1000000000;
    std::vector<std::uint32_t> limbs;
};

struct RealParts {
    bool negative;
    std::uint64_t fraction;
    int binaryExponent;  // value = fraction * 2^binaryExponent
};

RealParts splitReal(const std::uint8_t* bytes, std::size_t size) {
    RealParts parts{(bytes[0] & 0x80) != 0, 0, 0};
    for (std::size_t i = 1; i < size; ++i) parts.fraction = (parts.fraction << 8) | bytes[i];
    const int exponent = bytes[0] & 0x7F;
    parts.binaryExponent = 4 * (exponent - 64) - 8 * static_cast<int>(size - 1);
    return parts;
}

}  // namespace

std::string exactReal(const std::uint8_t* bytes, std::size_t size) {
    RealParts parts = splitReal(bytes, size);
    if (parts.fraction == 0) return "0";
    while (parts.fraction % 2 == 0 && parts.binaryExponent < 0) {
        parts.fraction /= 2;
        ++parts.binaryExponent;
    }
    BigDecimal number(parts.fraction);
    std::string text;
    if (parts.binaryExponent >= 0) {
        for (int i = 0; i < parts.binaryExponent; ++i) number.multiply(2);
        text = number.digits();
    } else {
        // F / 2^n = F * 5^n / 10^n: n decimal places, the last one non-zero.
        const auto places = static_cast<std::size_t>(-parts.binaryExponent);
        for (std::size_t i = 0; i < places; ++i) number.multiply(5);
        text = number.digits();
        if (text.size() <= places) text.insert(0, places - text.size() + 1, '0');
        text.insert(text.size() - places, ".");
    }
    return parts.negative ? "-" + text : text;
}

double realValue(const std::uint8_t* bytes, std::size_t size) {
    const RealParts parts = splitReal(bytes, size);
    const double magnitude = std::ldexp(static_cast<double>(parts.fraction), parts.binaryExponent);
    return parts.negative ? -magnitude : magnitude;
}

std::string shortReal(const std::uint8_t* bytes, std::size_t size) {
    const double value = realValue(bytes, size);
    char text[40];
    // Whole numbers as integers ("90", not "9e+01").
    if (std::fabs(value) < 1e17 && value == std::trunc(value)) {
        std::snprintf(text, sizeof text, "%.0f", value);
        return text;
    }
    for (int precision = 1; precision <= 17; ++precision) {
        std::snprintf(text, sizeof text, "%.*g", precision, value);
        if (std::strtod(text, nullptr) == value) break;
    }
    return text;
}

std::string quoteAscii(const std::uint8_t* data, std::size_t length) {
    if (length > 0 && data[length - 1] == 0) --length;
    std::string text = "\"";
    char escape[8];
    for (std::size_t i = 0; i < length; ++i) {
        const std::uint8_t byte = data[i];
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += static_cast<char>(byte);
        } else if (byte >= 0x20 && byte <= 0x7E) {
            text += static_cast<char>(byte);
        } else {
            std::snprintf(escape, sizeof escape, "\\x%02X", static_cast<unsigned>(byte));
            text += escape;
        }
    }
    return text + "\"";
}

}  // namespace quillon::reader
