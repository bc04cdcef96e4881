#include "byte_sink.h"

#include "encoders.h"
#include "records.h"

#if QUILLON_CHECK_RESERVATIONS
#  include <cstdio>
#  include <cstdlib>
#  if defined(__ELF__)
// Present when a sanitizer runtime is linked in: it prints the whole call
// chain, so that the element writer behind a record helper shows as well.
extern "C" void __sanitizer_print_stack_trace() __attribute__((weak));
#  endif
#endif

namespace quillon {

ByteSink::ByteSink(std::ostream& stream)
    : stream(&stream),
      buffer(new std::uint8_t[capacity]),
      cursor(buffer.get()),
      limit(buffer.get() + capacity) {}

ByteSink& ByteSink::writeString(const char* text) {
    return put(reinterpret_cast<const std::uint8_t*>(text), paddedLength(text));
}

#if QUILLON_CHECK_RESERVATIONS

namespace {

[[noreturn]] void abortWithTrace() {
#  if defined(__ELF__)
    if (__sanitizer_print_stack_trace != nullptr) __sanitizer_print_stack_trace();
#  endif
    std::fflush(stderr);
    std::abort();
}

}  // namespace

void recordTooLong(Record record, std::size_t dataLength) {
    std::fprintf(stderr,
                 "quillon: a record of type 0x%02X was to carry %zu bytes, more than its "
                 "16-bit length can count\n",
                 headerOf(record)[0], dataLength);
    abortWithTrace();
}

void ByteSink::reservationTooLarge(std::size_t n, const char* writer) const {
    std::fprintf(stderr, "quillon: %s reserved %zu bytes, more than the sink's %zu-byte buffer\n",
                 writer, n, capacity);
    abortWithTrace();
}

void ByteSink::overrun(const std::uint8_t* end) const {
    if (reservedEnd == nullptr) {
        std::fprintf(stderr, "quillon: commit without a reservation (last reserved by %s)\n",
                     reservingWriter);
    } else if (end < cursor) {
        std::fprintf(stderr, "quillon: %s committed %td bytes before its reservation\n",
                     reservingWriter, cursor - end);
    } else {
        std::fprintf(stderr,
                     "quillon: %s stored %td bytes into a reservation of %td bytes "
                     "(%td bytes past its end)\n",
                     reservingWriter, end - cursor, reservedEnd - cursor, end - reservedEnd);
    }
    abortWithTrace();
}

#endif

void ByteSink::handOver() {
    const std::size_t n = buffered();
    cursor = buffer.get();
#if QUILLON_CHECK_RESERVATIONS
    reservedEnd = nullptr;
#endif
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
