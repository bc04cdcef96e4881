#include "byte_sink.h"

#include "encoders.h"

namespace quillon {

ByteSink::ByteSink(std::ostream& stream)
    : stream(&stream),
      buffer(new std::uint8_t[capacity]),
      cursor(buffer.get()),
      limit(buffer.get() + capacity) {}

ByteSink& ByteSink::writeString(const char* text) {
    return put(reinterpret_cast<const std::uint8_t*>(text), paddedLength(text));
}

void ByteSink::handOver() {
    const std::size_t n = buffered();
    cursor = buffer.get();
    // One write of the whole block: the stream passes a block this large
    // straight to the file, and drops it while failed or closed.
    if (n > 0) stream->write(reinterpret_cast<const char*>(buffer.get()),
                             static_cast<std::streamsize>(n));
}

ByteSink& ByteSink::putLarge(const std::uint8_t* source, std::size_t n) {
    handOver();
    if (n <= capacity) {
        std::memcpy(cursor, source, n);
        cursor += n;
    } else {
        stream->write(reinterpret_cast<const char*>(source), static_cast<std::streamsize>(n));
    }
    return *this;
}

}  // namespace quillon
