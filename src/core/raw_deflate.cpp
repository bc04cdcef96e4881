#include "raw_deflate.h"

#include <climits>
#include <new>

#include <zlib.h>
#ifndef QUILLON_DEFLATE_ZLIB
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#endif

namespace quillon {

namespace {

// Grows out by room bytes for a stream to be written at its end; false
// when memory runs out.
bool makeRoom(std::vector<std::uint8_t>& out, std::size_t room) {
    try {
        out.resize(out.size() + room);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace

#ifdef QUILLON_DEFLATE_ZLIB

// zlib: one deflate stream, reset for every block.
struct RawDeflater::State {
    z_stream stream{};
    bool ready = false;
    ~State() {
        if (ready) deflateEnd(&stream);
    }
};

bool RawDeflater::setLevel(int level) {
    state.reset();
    if (level < 1 || level > 9) return false;
    std::unique_ptr<State> s(new (std::nothrow) State);
    if (!s) return false;
    s->ready = deflateInit2(&s->stream, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) == Z_OK;
    if (!s->ready) return false;
    state = std::move(s);
    return true;
}

bool RawDeflater::compress(const std::uint8_t* in, std::size_t size,
                           std::vector<std::uint8_t>& out) {
    if (!state || size > UINT_MAX / 2) return false;
    z_stream& z = state->stream;
    const std::size_t start = out.size();
    const std::size_t bound = deflateBound(&z, static_cast<uLong>(size));
    if (deflateReset(&z) != Z_OK || !makeRoom(out, bound)) return false;
    z.next_in = const_cast<Bytef*>(in);
    z.avail_in = static_cast<uInt>(size);
    z.next_out = out.data() + start;
    z.avail_out = static_cast<uInt>(bound);
    const bool done = deflate(&z, Z_FINISH) == Z_STREAM_END;
    out.resize(done ? out.size() - z.avail_out : start);
    return done;
}

std::uint32_t crc32Of(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    while (size > 0) {
        const uInt piece = size < UINT_MAX / 2 ? static_cast<uInt>(size) : UINT_MAX / 2;
        crc = static_cast<std::uint32_t>(crc32(crc, data, piece));
        data += piece;
        size -= piece;
    }
    return crc;
}

#else

// ISA-L for levels 1 and 2 (stateless, one call per block, with the level's
// hash tables in levelBuffer), libdeflate for 3 to 9.
struct RawDeflater::State {
    int isalLevel = 0;  // 0: libdeflate
    std::vector<std::uint8_t> levelBuffer;
    libdeflate_compressor* compressor = nullptr;
    ~State() { libdeflate_free_compressor(compressor); }
};

bool RawDeflater::setLevel(int level) {
    state.reset();
    if (level < 1 || level > 9) return false;
    try {
        std::unique_ptr<State> s(new State);
        if (level <= 2) {
            s->isalLevel = level;
            s->levelBuffer.resize(level == 1 ? ISAL_DEF_LVL1_DEFAULT : ISAL_DEF_LVL2_DEFAULT);
        } else {
            s->compressor = libdeflate_alloc_compressor(level);
            if (s->compressor == nullptr) return false;
        }
        state = std::move(s);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool RawDeflater::compress(const std::uint8_t* in, std::size_t size,
                           std::vector<std::uint8_t>& out) {
    if (!state) return false;
    const std::size_t start = out.size();
    if (state->isalLevel == 0) {
        const std::size_t bound = libdeflate_deflate_compress_bound(state->compressor, size);
        if (!makeRoom(out, bound)) return false;
        const std::size_t written = libdeflate_deflate_compress(state->compressor, in, size,
                                                                out.data() + start, bound);
        out.resize(start + written);
        return written > 0;
    }
    // ISA-L counts in 32 bits, and its worst case is the input in stored
    // blocks of 64 KiB, 5 bytes of header each.
    if (size > UINT32_MAX / 2) return false;
    const std::size_t bound = size + 5 * (size / 65535 + 1) + ISAL_DEF_MAX_HDR_SIZE + 64;
    if (!makeRoom(out, bound)) return false;
    isal_zstream s;
    isal_deflate_stateless_init(&s);
    s.level = static_cast<std::uint32_t>(state->isalLevel);
    s.level_buf = state->levelBuffer.data();
    s.level_buf_size = static_cast<std::uint32_t>(state->levelBuffer.size());
    s.next_in = const_cast<std::uint8_t*>(in);
    s.avail_in = static_cast<std::uint32_t>(size);
    s.next_out = out.data() + start;
    s.avail_out = static_cast<std::uint32_t>(bound);
    s.end_of_stream = 1;
    const bool done = isal_deflate_stateless(&s) == COMP_OK && s.avail_in == 0;
    out.resize(done ? out.size() - s.avail_out : start);
    return done;
}

std::uint32_t crc32Of(std::uint32_t crc, const std::uint8_t* data, std::size_t size) {
    return libdeflate_crc32(crc, data, size);
}

#endif

RawDeflater::RawDeflater() = default;
RawDeflater::~RawDeflater() = default;

bool deflateRawBlock(int level, const std::uint8_t* in, std::size_t size,
                     std::vector<std::uint8_t>& out) {
    RawDeflater deflater;
    return deflater.setLevel(level) && deflater.compress(in, size, out);
}

}  // namespace quillon
