#include "gzip_buffer.h"

#include <climits>
#include <cstring>

#include <zlib.h>

namespace quillon {

namespace {

// The put area for small writes, and the block of compressed output handed
// to the target at a time.
constexpr std::size_t inputSize = 64 * 1024;
constexpr std::size_t outputSize = 256 * 1024;

}  // namespace

struct GzipBuffer::Compressor {
    z_stream stream{};
    // The gzip header: no name, no time (files written from the same calls
    // are the same bytes), operating system "unknown" so that every build
    // writes the same header. deflate keeps a pointer to it until the header
    // is written.
    gz_header header{};
};

GzipBuffer::GzipBuffer() = default;

GzipBuffer::~GzipBuffer() {
    if (active) close();
}

bool GzipBuffer::open(const char* fileName, int level) {
    if (active) return false;
    if (fileName == nullptr || file.open(fileName, std::ios::out | std::ios::binary) == nullptr)
        return false;
    target = &file;
    if (start(level)) return true;
    file.close();
    target = nullptr;
    return false;
}

bool GzipBuffer::attach(std::streambuf* newTarget, int level) {
    if (active || newTarget == nullptr) return false;
    target = newTarget;
    if (start(level)) return true;
    target = nullptr;
    return false;
}

bool GzipBuffer::start(int level) {
    if (level < 1 || level > 9) return false;
    if (!z) z.reset(new Compressor);
    z->stream = z_stream{};
    z->header = gz_header{};
    z->header.os = 255;
    if (deflateInit2(&z->stream, level, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    if (deflateSetHeader(&z->stream, &z->header) != Z_OK) {
        deflateEnd(&z->stream);
        return false;
    }
    // The blocks are allocated with the first compressed file, so that a
    // writer that never compresses carries none of them.
    if (!input) input.reset(new char[inputSize]);
    if (!output) output.reset(new unsigned char[outputSize]);
    z->stream.next_out = output.get();
    z->stream.avail_out = static_cast<uInt>(outputSize);
    setp(input.get(), input.get() + inputSize);
    active = true;
    broken = false;
    return true;
}

bool GzipBuffer::writeOutput(std::size_t n) {
    if (n > 0 &&
        target->sputn(reinterpret_cast<const char*>(output.get()),
                      static_cast<std::streamsize>(n)) != static_cast<std::streamsize>(n)) {
        fail();
        return false;
    }
    z->stream.next_out = output.get();
    z->stream.avail_out = static_cast<uInt>(outputSize);
    return true;
}

bool GzipBuffer::deflateBytes(const char* data, std::size_t n, int flush) {
    z_stream& s = z->stream;
    // zlib counts input in uInt: anything larger goes in pieces.
    constexpr std::size_t maxPiece = UINT_MAX / 2;
    do {
        const std::size_t piece = n < maxPiece ? n : maxPiece;
        n -= piece;
        const int mode = n == 0 ? flush : Z_NO_FLUSH;
        s.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data));
        s.avail_in = static_cast<uInt>(piece);
        data += piece;
        for (;;) {
            const int result = deflate(&s, mode);
            if (result == Z_STREAM_ERROR) {
                fail();
                return false;
            }
            if (s.avail_out == 0) {
                if (!writeOutput(outputSize)) return false;
                continue;
            }
            // Room left over: deflate has taken all input and, for a flush,
            // emitted everything it owes.
            if (mode == Z_FINISH && result != Z_STREAM_END) {
                fail();
                return false;
            }
            break;
        }
    } while (n > 0);
    if (flush != Z_NO_FLUSH) return writeOutput(outputSize - s.avail_out);
    return true;
}

bool GzipBuffer::deflatePending(int flush) {
    const std::size_t pending = static_cast<std::size_t>(pptr() - pbase());
    setp(input.get(), input.get() + inputSize);
    return deflateBytes(input.get(), pending, flush);
}

std::streamsize GzipBuffer::xsputn(const char* data, std::streamsize n) {
    if (!active || broken || n < 0) return 0;
    const std::size_t count = static_cast<std::size_t>(n);
    if (count <= static_cast<std::size_t>(epptr() - pptr())) {
        std::memcpy(pptr(), data, count);
        pbump(static_cast<int>(count));
        return n;
    }
    if (!deflatePending(Z_NO_FLUSH)) return 0;
    if (count < inputSize) {
        std::memcpy(pptr(), data, count);
        pbump(static_cast<int>(count));
        return n;
    }
    return deflateBytes(data, count, Z_NO_FLUSH) ? n : 0;
}

GzipBuffer::int_type GzipBuffer::overflow(int_type c) {
    if (!active || broken || !deflatePending(Z_NO_FLUSH)) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
}

int GzipBuffer::sync() {
    if (!active) return 0;
    if (broken || !deflatePending(Z_SYNC_FLUSH) || target->pubsync() != 0) {
        fail();
        return -1;
    }
    return 0;
}

bool GzipBuffer::close() {
    if (!active) return false;
    bool ok = !broken && deflatePending(Z_FINISH) && target->pubsync() == 0;
    deflateEnd(&z->stream);
    if (target == &file && file.close() == nullptr) ok = false;
    target = nullptr;
    active = false;
    setp(nullptr, nullptr);
    return ok;
}

}  // namespace quillon
