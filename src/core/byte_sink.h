// The byte sink through which every byte of every record reaches the output
// stream, in file order. Each chained operation copies its bytes, already in
// file order, and returns the sink, so that the parts of one record are
// written as a chain: length, header, data. The record writers of records.h
// use the faster pair reserve/commit instead: they take a pointer to room
// for a whole record, store its fields through that local pointer and hand
// the advanced pointer back.
//
// The bytes are collected in a fixed buffer of the sink's own, allocated
// once with the sink, and handed to the stream in large blocks: whenever the
// buffer is full, and by drain(), which GDS_EndLib calls before it flushes
// and closes the file. The sink keeps no failure state of its own: whether
// bytes arrive is decided by the stream alone when they are handed over.
// Nothing else writes to the stream in between, so a block handed to a
// failed or closed stream is dropped exactly as its bytes would have been
// one by one. discard() forgets what is buffered, so that bytes written
// while no file was open never lead the next file.
//
// Checked builds (every build without NDEBUG, so the Debug and sanitizer
// builds, or any build defining QUILLON_CHECK_RESERVATIONS=1) remember the
// end of each reservation and the function that took it; commit aborts with
// a message naming that function when the bytes stored run past the
// reservation, and reserve aborts when asked for more than the buffer. In
// release builds both are the bare pointer operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <ostream>

#include "inlining.h"

#ifndef QUILLON_CHECK_RESERVATIONS
#  ifdef NDEBUG
#    define QUILLON_CHECK_RESERVATIONS 0
#  else
#    define QUILLON_CHECK_RESERVATIONS 1
#  endif
#endif

// The buffer size; test builds make it small (QUILLON_SINK_CAPACITY) so
// that elements meet the end of the buffer often.
#ifndef QUILLON_SINK_CAPACITY
#  define QUILLON_SINK_CAPACITY (2048 * 1024)
#endif

// The name of the function that calls the one this is a default argument
// of, for the checked builds' messages.
#if defined(__GNUC__) || defined(__clang__)
#  define QUILLON_CALLER_NAME __builtin_FUNCTION()
#else
#  define QUILLON_CALLER_NAME "a record writer"
#endif

namespace quillon {

class ByteSink {
public:
    // The size of the buffer: the most bytes one reserve can ask for.
    static constexpr std::size_t capacity = QUILLON_SINK_CAPACITY;
    // The most any writer reserves at once: a whole AREF with the longest
    // name (65530 bytes) and its fixed records, with room to spare. Every
    // GDSII record (at most 65535 bytes) fits too.
    static constexpr std::size_t largestReservation = 65536 + 256;
    static_assert(capacity >= largestReservation, "the sink's buffer must hold every element");

    explicit ByteSink(std::ostream& stream);
    ByteSink(const ByteSink&) = delete;
    ByteSink& operator=(const ByteSink&) = delete;

    ByteSink& write2(const std::uint8_t* source) { return put(source, 2); }
    ByteSink& write4(const std::uint8_t* source) { return put(source, 4); }
    ByteSink& write8(const std::uint8_t* source) { return put(source, 8); }
    ByteSink& write24(const std::uint8_t* source) { return put(source, 24); }

    // n bytes in file order; a block of half the buffer or more goes to the
    // stream directly, after the buffered bytes, without a copy.
    ByteSink& writeBlock(const std::uint8_t* source, std::size_t n) {
        if (n < capacity / 2) return put(source, n);
        handOver();
        stream->write(reinterpret_cast<const char*>(source), static_cast<std::streamsize>(n));
        return *this;
    }

    // The bytes of text before its terminator and, when their number is
    // odd, the terminating NUL: paddedLength(text) bytes.
    ByteSink& writeString(const char* text);

    // Room for n bytes (n <= capacity) at the returned address, handing the
    // buffered bytes to the stream first when they would not fit. The
    // caller stores its bytes there in file order and then passes the
    // address just past the last of them to commit; nothing else may be
    // written in between.
#if QUILLON_CHECK_RESERVATIONS
    std::uint8_t* reserve(std::size_t n, const char* writer = QUILLON_CALLER_NAME) {
        if (n > capacity) reservationTooLarge(n, writer);
        if (static_cast<std::size_t>(limit - cursor) < n) handOver();
        reservedEnd = cursor + n;
        reservingWriter = writer;
        return cursor;
    }
    void commit(std::uint8_t* end) {
        if (reservedEnd == nullptr || end < cursor || end > reservedEnd) overrun(end);
        cursor = end;
        reservedEnd = nullptr;
    }
#else
    std::uint8_t* reserve(std::size_t n) {
        if (static_cast<std::size_t>(limit - cursor) < n) handOver();
        return cursor;
    }
    void commit(std::uint8_t* end) { cursor = end; }
#endif

    // Hands every buffered byte to the stream, in order.
    void drain() { handOver(); }

    // Forgets the buffered bytes without handing them over.
    void discard() {
        cursor = buffer.get();
#if QUILLON_CHECK_RESERVATIONS
        reservedEnd = nullptr;
#endif
    }

    // The number of bytes written since the last hand-over or discard.
    std::size_t buffered() const { return static_cast<std::size_t>(cursor - buffer.get()); }

private:
    ByteSink& put(const std::uint8_t* source, std::size_t n) {
        if (static_cast<std::size_t>(limit - cursor) < n) return putLarge(source, n);
        std::memcpy(cursor, source, n);
        cursor += n;
        return *this;
    }
    QUILLON_COLD ByteSink& putLarge(const std::uint8_t* source, std::size_t n);
    QUILLON_COLD void handOver();

    std::ostream* stream;
    std::unique_ptr<std::uint8_t[]> buffer;
    std::uint8_t* cursor;
    std::uint8_t* limit;
#if QUILLON_CHECK_RESERVATIONS
    [[noreturn]] void reservationTooLarge(std::size_t n, const char* writer) const;
    [[noreturn]] void overrun(const std::uint8_t* end) const;
    std::uint8_t* reservedEnd = nullptr;
    const char* reservingWriter = "";
#endif
};

}  // namespace quillon
