// The byte sink through which every byte of every record reaches the output
// stream, in file order. Each operation copies its bytes, already in file
// order, to the stream and returns the sink, so that the parts of one record
// are written as a chain: length, header, data.
//
// The sink keeps no failure state of its own: whether bytes arrive is
// decided by the stream alone. While the stream is failed or has no file
// open, bytes are dropped.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>

namespace quillon {

class ByteSink {
public:
    explicit ByteSink(std::ostream& stream) : stream(&stream) {}

    ByteSink& write2(const std::uint8_t* source) { return put(source, 2); }
    ByteSink& write4(const std::uint8_t* source) { return put(source, 4); }
    ByteSink& write8(const std::uint8_t* source) { return put(source, 8); }
    ByteSink& write24(const std::uint8_t* source) { return put(source, 24); }

    // The bytes of text before its terminator and, when their number is
    // odd, the terminating NUL: paddedLength(text) bytes.
    ByteSink& writeString(const char* text);

private:
    ByteSink& put(const std::uint8_t* source, std::size_t n) {
        stream->write(reinterpret_cast<const char*>(source), static_cast<std::streamsize>(n));
        return *this;
    }

    std::ostream* stream;
};

}  // namespace quillon
