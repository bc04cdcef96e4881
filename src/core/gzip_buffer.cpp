#include "gzip_buffer.h"

namespace quillon {

namespace {

void putLittleEndian32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

GzipBuffer::~GzipBuffer() {
    if (active) close();
}

bool GzipBuffer::open(const char* fileName, int level, unsigned threads) {
    if (active) return false;
    if (fileName == nullptr || file.open(fileName, std::ios::out | std::ios::binary) == nullptr)
        return false;
    target = &file;
    if (start(level, threads)) return true;
    file.close();
    target = nullptr;
    return false;
}

bool GzipBuffer::attach(std::streambuf* newTarget, int level, unsigned threads) {
    if (active || newTarget == nullptr) return false;
    target = newTarget;
    if (start(level, threads)) return true;
    target = nullptr;
    return false;
}

bool GzipBuffer::start(int level, unsigned threads) {
    if (!stage.start(level, threads, *this)) return false;
    // The extra flags say "fastest" for level 1 and "best" for 9, as zlib
    // writes them.
    xfl = level == 1 ? 4 : level == 9 ? 2 : 0;
    anySubmitted = false;
    setp(reinterpret_cast<char*>(stage.block()),
         reinterpret_cast<char*>(stage.block()) + CompressionStage::blockSize);
    active = true;
    return true;
}

bool GzipBuffer::writeBlock(const CompressionStage::Block& block) {
    // Magic, deflate, no flags, no time (files written from the same calls
    // are the same bytes), the extra flags, operating system 255 (unknown)
    // so that every build writes the same header.
    const std::uint8_t header[10] = {0x1F, 0x8B, 8, 0, 0, 0, 0, 0,
                                     static_cast<std::uint8_t>(xfl), 0xFF};
    std::uint8_t trailer[8];
    putLittleEndian32(trailer, block.crc);
    putLittleEndian32(trailer + 4, static_cast<std::uint32_t>(block.inputSize));
    const auto put = [this](const void* bytes, std::size_t n) {
        return target->sputn(static_cast<const char*>(bytes), static_cast<std::streamsize>(n)) ==
               static_cast<std::streamsize>(n);
    };
    return put(header, sizeof header) && put(block.data, block.size) &&
           put(trailer, sizeof trailer);
}

bool GzipBuffer::submitPending(bool always, bool last) {
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    if (pending == 0 && !always) return !stage.failed();
    anySubmitted = true;
    const bool ok = stage.submit(pending, last);
    char* next = reinterpret_cast<char*>(stage.block());
    setp(next, next == nullptr ? nullptr : next + CompressionStage::blockSize);
    return ok;
}

GzipBuffer::int_type GzipBuffer::overflow(int_type c) {
    if (!active || !submitPending(false)) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int GzipBuffer::sync() {
    if (!active) return 0;
    return submitPending(false) && stage.drain() && target->pubsync() == 0 ? 0 : -1;
}

bool GzipBuffer::close() {
    if (!active) return false;
    // A stream of no bytes is still one (empty) member.
    const bool submitted = submitPending(!anySubmitted, true);
    const bool finished = stage.finish();
    bool ok = submitted && finished && target->pubsync() == 0;
    if (target == &file && file.close() == nullptr) ok = false;
    target = nullptr;
    active = false;
    setp(nullptr, nullptr);
    return ok;
}

}  // namespace quillon
