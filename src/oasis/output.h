// The bytes of an OASIS file on their way to the byte sink: records are
// gathered in a block of bounded size, which goes out either as it is or,
// with compression on, deflated into a CBLOCK record. Every byte that goes
// out is counted (for the table offsets) and taken into the CRC32 of the
// END record's validation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "core/byte_sink.h"
#include "oasis/encoders.h"

namespace quillon::oasis {

class Output {
public:
    // level: 0 writes records as they are, 1 to 9 in CBLOCKs deflated at
    // that level.
    Output(ByteSink& sink, int level);

    // The open block; whole records only are appended, and then
    // recordDone() called.
    Bytes& block() { return pending; }
    // Sends the block once it is full, so that memory stays bounded.
    void recordDone() {
        if (pending.size() >= blockLimit) flush();
    }
    // Sends the open block, so that the next record starts at offset().
    void flush();
    // Bytes that never go into a CBLOCK (the magic, START, END), after the
    // open block.
    void writeRaw(const std::uint8_t* bytes, std::size_t n);
    // The file offset of the next byte sent, and the CRC32 of those sent.
    std::uint64_t offset() const { return sent; }
    std::uint32_t crc() const { return checksum; }

    // The largest uncompressed block; a few records may run past it.
    static constexpr std::size_t blockLimit = 1 << 20;

private:
    void send(const std::uint8_t* bytes, std::size_t n);

    ByteSink& sink;
    int level;
    Bytes pending;
    Bytes compressed;  // a CBLOCK's head
    Bytes deflated;    // and its body
    std::uint64_t sent = 0;
    std::uint32_t checksum = 0;
};

}  // namespace quillon::oasis
