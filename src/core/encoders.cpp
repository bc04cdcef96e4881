#include "encoders.h"

#include <utility>

namespace quillon {

std::uint8_t* reverseBytes(std::uint8_t* bytes, std::size_t n) {
    for (std::size_t i = 0, j = n; i + 1 < j; ++i, --j) std::swap(bytes[i], bytes[j - 1]);
    return bytes;
}

Bytes8 toReal8(double value) {
    Bytes8 bytes;
    storeBigEndian64(bytes.data(), real8Bits(value));
    return bytes;
}

}  // namespace quillon
