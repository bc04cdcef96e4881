#include "raw_deflate.h"

#include <zlib.h>

namespace quillon {

bool deflateRawBlock(int level, const std::uint8_t* in, std::size_t size,
                     std::vector<std::uint8_t>& out) {
    z_stream stream{};
    // Negative window bits: a raw stream, no header and no check value.
    if (deflateInit2(&stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    const std::size_t start = out.size();
    out.resize(start + deflateBound(&stream, static_cast<uLong>(size)));
    stream.next_in = const_cast<Bytef*>(in);
    stream.avail_in = static_cast<uInt>(size);
    stream.next_out = out.data() + start;
    stream.avail_out = static_cast<uInt>(out.size() - start);
    const int result = deflate(&stream, Z_FINISH);
    out.resize(start + stream.total_out);
    deflateEnd(&stream);
    return result == Z_STREAM_END;
}

}  // namespace quillon
