// Raw deflate (no zlib or gzip framing) of one whole block: the form of the
// compressed bytes of an OASIS CBLOCK.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quillon {

// Appends the raw-deflate stream of the size bytes at in, whole and
// finished, to out, at deflate level (1 to 9). False on failure, with out
// holding at least what it held before.
bool deflateRawBlock(int level, const std::uint8_t* in, std::size_t size,
                     std::vector<std::uint8_t>& out);

}  // namespace quillon
