#include "oasis/output.h"

#include <zlib.h>

#include "core/raw_deflate.h"

namespace quillon::oasis {

namespace {

constexpr std::uint8_t cblockRecord = 34;
constexpr std::uint8_t deflateMethod = 0;

}  // namespace

Output::Output(ByteSink& sink, int level) : sink(sink), level(level) {
    pending.reserve(blockLimit + 4096);
    checksum = static_cast<std::uint32_t>(crc32(0L, Z_NULL, 0));
}

void Output::send(const std::uint8_t* bytes, std::size_t n) {
    if (n == 0) return;
    checksum = static_cast<std::uint32_t>(crc32(checksum, bytes, static_cast<uInt>(n)));
    sent += n;
    sink.writeBlock(bytes, n);
}

void Output::writeRaw(const std::uint8_t* bytes, std::size_t n) {
    flush();
    send(bytes, n);
}

void Output::flush() {
    if (pending.empty()) return;
    if (level > 0) {
        compressed.clear();
        compressed.push_back(cblockRecord);
        putUnsigned(compressed, deflateMethod);
        putUnsigned(compressed, pending.size());
        deflated.clear();
        if (deflateRawBlock(level, pending.data(), pending.size(), deflated)) {
            putUnsigned(compressed, deflated.size());
            send(compressed.data(), compressed.size());
            send(deflated.data(), deflated.size());
            pending.clear();
            return;
        }
        // Without the memory to compress, the records go out as they are.
        level = 0;
    }
    send(pending.data(), pending.size());
    pending.clear();
}

}  // namespace quillon::oasis
