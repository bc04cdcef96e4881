// Test helper: the bytes a gzip stream holds, inflated with zlib, with the
// stream checked whole (header, CRC-32 and length trailer of every member).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include <zlib.h>

namespace gztest {

using Bytes = std::vector<std::uint8_t>;

// Members follow one another, as gzip and zlib's gzread take them; each is
// checked whole, and nothing but another member may follow one.
inline Bytes inflateGzip(const Bytes& compressed) {
    z_stream s{};
    if (inflateInit2(&s, 15 + 16) != Z_OK) throw std::runtime_error("inflateInit2 failed");
    Bytes out;
    unsigned char block[1 << 16];
    s.next_in = const_cast<Bytef*>(compressed.data());
    s.avail_in = static_cast<uInt>(compressed.size());
    int result = Z_OK;
    do {
        if (result == Z_STREAM_END) inflateReset(&s);
        do {
            s.next_out = block;
            s.avail_out = sizeof block;
            result = inflate(&s, Z_NO_FLUSH);
            out.insert(out.end(), block, block + (sizeof block - s.avail_out));
        } while (result == Z_OK);
    } while (result == Z_STREAM_END && s.avail_in > 0);
    inflateEnd(&s);
    if (result != Z_STREAM_END)
        throw std::runtime_error("not a complete gzip stream (zlib " + std::to_string(result) +
                                 ")");
    return out;
}

}  // namespace gztest
