// Test helper: the bytes a gzip stream holds, inflated with zlib, with the
// stream checked whole (header, CRC-32 and length trailer, nothing after).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

namespace gztest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes inflateGzip(const Bytes& compressed) {
    z_stream s{};
    if (inflateInit2(&s, 15 + 16) != Z_OK) throw std::runtime_error("inflateInit2 failed");
    Bytes out;
    unsigned char block[1 << 16];
    s.next_in = const_cast<Bytef*>(compressed.data());
    s.avail_in = static_cast<uInt>(compressed.size());
    int result = Z_OK;
    while (result == Z_OK) {
        s.next_out = block;
        s.avail_out = sizeof block;
        result = inflate(&s, Z_NO_FLUSH);
        out.insert(out.end(), block, block + (sizeof block - s.avail_out));
        if (result == Z_BUF_ERROR && s.avail_in == 0) break;
    }
    const std::size_t left = s.avail_in;
    inflateEnd(&s);
    if (result != Z_STREAM_END)
        throw std::runtime_error("not a complete gzip stream (zlib " + std::to_string(result) +
                                 ")");
    if (left != 0) throw std::runtime_error(std::to_string(left) + " bytes after the stream");
    return out;
}

}  // namespace gztest
