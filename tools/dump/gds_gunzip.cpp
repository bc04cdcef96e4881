#include "gds_gunzip.h"

#include <climits>

#include <zlib.h>

namespace gdsdump {

bool isGzip(const std::uint8_t* bytes, std::size_t size) {
    return size >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

namespace {

class Inflater {
public:
    Inflater() { ok = inflateInit2(&stream, 15 + 16) == Z_OK; }
    ~Inflater() {
        if (ok) inflateEnd(&stream);
    }
    Inflater(const Inflater&) = delete;
    Inflater& operator=(const Inflater&) = delete;

    z_stream stream{};
    bool ok = false;
};

std::string failure(const char* what, const z_stream& stream) {
    std::string text = "corrupt gzip stream: ";
    text += what;
    if (stream.msg != nullptr) {
        text += " (";
        text += stream.msg;
        text += ")";
    }
    return text;
}

}  // namespace

std::string gunzip(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& out) {
    out.clear();
    Inflater inflater;
    if (!inflater.ok) return "cannot set up the gzip decompressor";
    z_stream& s = inflater.stream;
    // zlib counts in uInt: input goes in pieces that it can count.
    constexpr std::size_t maxPiece = UINT_MAX / 2;
    std::size_t fed = 0;
    std::size_t produced = 0;
    // A guess at the size that is usually close (GDSII compresses about
    // four to eight times), grown as needed.
    out.resize(size < 1024 ? 4096 : size * 4);
    for (;;) {
        if (s.avail_in == 0 && fed < size) {
            const std::size_t piece = size - fed < maxPiece ? size - fed : maxPiece;
            s.next_in = const_cast<Bytef*>(bytes + fed);
            s.avail_in = static_cast<uInt>(piece);
            fed += piece;
        }
        if (produced == out.size()) out.resize(out.size() * 2);
        const std::size_t room = out.size() - produced < maxPiece ? out.size() - produced : maxPiece;
        s.next_out = out.data() + produced;
        s.avail_out = static_cast<uInt>(room);
        const int result = inflate(&s, Z_NO_FLUSH);
        produced += room - s.avail_out;
        if (result == Z_STREAM_END) {
            const std::size_t left = s.avail_in + (size - fed);
            // Another member may follow, as gzip concatenates them; anything
            // else after the end is not part of a gzip file.
            if (left == 0) break;
            if (!isGzip(s.next_in, s.avail_in)) {
                out.resize(produced);
                return "corrupt gzip stream: data after the end of the stream";
            }
            inflateReset(&s);
            continue;
        }
        if (result == Z_NEED_DICT || result == Z_DATA_ERROR || result == Z_STREAM_ERROR ||
            result == Z_MEM_ERROR) {
            out.resize(produced);
            return failure(result == Z_MEM_ERROR ? "out of memory" : "bad data", s);
        }
        // Z_OK or Z_BUF_ERROR: more input or more room is needed; with all
        // input given and room left over, the stream was cut short.
        if (s.avail_in == 0 && fed == size && s.avail_out != 0) {
            out.resize(produced);
            return "corrupt gzip stream: truncated";
        }
    }
    out.resize(produced);
    return "";
}

}  // namespace gdsdump
