#include "byte_source.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>

#include <zlib.h>

#if defined(_WIN32)
#  define WIN32_LEAN_AND_MEAN
#  include <windows.h>
#  include <io.h>
#else
#  include <sys/stat.h>
#  include <unistd.h>
#endif

namespace quillon::reader {

bool isGzip(const std::uint8_t* bytes, std::size_t size) {
    return size >= 2 && bytes[0] == 0x1F && bytes[1] == 0x8B;
}

std::size_t MemorySource::read(std::uint8_t* buffer, std::size_t n) {
    const std::size_t count = std::min(n, left);
    if (count != 0) std::memcpy(buffer, next, count);
    next += count;
    left -= count;
    return count;
}

// --- plain files -----------------------------------------------------------

namespace {

#if defined(_WIN32)
FileIdentity identityOfHandle(HANDLE handle) {
    FileIdentity id;
    BY_HANDLE_FILE_INFORMATION info;
    if (handle != INVALID_HANDLE_VALUE && GetFileInformationByHandle(handle, &info)) {
        id.device = info.dwVolumeSerialNumber;
        id.inode = (std::uint64_t{info.nFileIndexHigh} << 32) | info.nFileIndexLow;
        id.known = true;
    }
    return id;
}
#else
FileIdentity identityOfStat(const struct stat& st) {
    FileIdentity id;
    id.device = static_cast<std::uint64_t>(st.st_dev);
    id.inode = static_cast<std::uint64_t>(st.st_ino);
    id.known = true;
    return id;
}
#endif

}  // namespace

FileIdentity identityOf(const char* path) {
    if (path == nullptr) return {};
#if defined(_WIN32)
    const HANDLE handle = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return {};
    const FileIdentity id = identityOfHandle(handle);
    CloseHandle(handle);
    return id;
#else
    struct stat st;
    if (::stat(path, &st) != 0) return {};
    return identityOfStat(st);
#endif
}

class FileSource::RawFile : public ByteSource {
public:
    explicit RawFile(std::FILE* file) : file(file) {}
    ~RawFile() override { std::fclose(file); }
    RawFile(const RawFile&) = delete;
    RawFile& operator=(const RawFile&) = delete;

    // The first bytes, read ahead to look for the gzip magic, come first.
    void putBack(const std::uint8_t* bytes, std::size_t n) {
        pending.assign(bytes, bytes + n);
    }

    std::size_t read(std::uint8_t* buffer, std::size_t n) override {
        if (!pending.empty()) {
            const std::size_t count = std::min(n, pending.size());
            std::memcpy(buffer, pending.data(), count);
            pending.erase(pending.begin(), pending.begin() + static_cast<std::ptrdiff_t>(count));
            return count;
        }
        const std::size_t count = std::fread(buffer, 1, n, file);
        if (count == 0 && std::ferror(file)) failure = "read error";
        return count;
    }

    // Back to the first byte, with no fault and nothing put back.
    bool restart() {
        pending.clear();
        failure.clear();
        std::clearerr(file);
        return std::fseek(file, 0, SEEK_SET) == 0;
    }

    // Whether the file is a regular one, and which.
    void describe(bool& regular, FileIdentity& id) const {
#if defined(_WIN32)
        const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
        regular = GetFileType(handle) == FILE_TYPE_DISK;
        id = identityOfHandle(handle);
#else
        struct stat st;
        regular = false;
        if (::fstat(fileno(file), &st) != 0) return;
        regular = S_ISREG(st.st_mode);
        id = identityOfStat(st);
#endif
    }

private:
    std::FILE* file;
    std::vector<std::uint8_t> pending;
};

FileSource::FileSource() = default;
FileSource::~FileSource() = default;

bool FileSource::open(const char* path) {
    inflater.reset();
    raw.reset();
    canSeek = false;
    opened = FileIdentity{};
    failure.clear();
    if (path == nullptr) return false;
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) return false;
    // The reader asks for large blocks: stdio's own buffer would only add a
    // copy.
    std::setvbuf(file, nullptr, _IONBF, 0);
    raw = std::make_unique<RawFile>(file);
    raw->describe(canSeek, opened);
    return start();
}

bool FileSource::rewind() {
    inflater.reset();
    failure.clear();
    if (raw == nullptr || !canSeek || !raw->restart()) return false;
    return start();
}

bool FileSource::start() {
    std::uint8_t magic[2];
    std::size_t got = 0;
    while (got < 2) {
        const std::size_t count = raw->read(magic + got, 2 - got);
        if (count == 0) break;
        got += count;
    }
    if (!raw->fault().empty()) return false;
    raw->putBack(magic, got);
    if (isGzip(magic, got)) inflater = std::make_unique<GzipSource>(*raw);
    return true;
}

std::size_t FileSource::read(std::uint8_t* buffer, std::size_t n) {
    ByteSource* from = inflater ? inflater.get() : static_cast<ByteSource*>(raw.get());
    if (from == nullptr) return 0;
    const std::size_t count = from->read(buffer, n);
    if (count == 0) failure = from->fault();
    return count;
}

// --- gzip ------------------------------------------------------------------

struct GzipSource::State {
    z_stream stream{};
    bool ready = false;
    bool memberEnded = false;  // the last member read ended cleanly
    bool done = false;
    std::unique_ptr<std::uint8_t[]> input{new std::uint8_t[inputSize]};
    static constexpr std::size_t inputSize = 256 * 1024;
};

GzipSource::GzipSource(ByteSource& raw) : raw(raw), state(std::make_unique<State>()) {
    state->ready = inflateInit2(&state->stream, 15 + 16) == Z_OK;
    if (!state->ready) failure = "cannot set up the gzip decompressor";
}

GzipSource::~GzipSource() {
    if (state->ready) inflateEnd(&state->stream);
}

namespace {

std::string zlibFailure(const char* what, const z_stream& stream) {
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

std::size_t GzipSource::read(std::uint8_t* buffer, std::size_t n) {
    State& s = *state;
    if (!s.ready || s.done || !failure.empty()) return 0;
    z_stream& z = s.stream;
    // zlib counts in uInt.
    const std::size_t room = std::min<std::size_t>(n, UINT_MAX / 2);
    z.next_out = buffer;
    z.avail_out = static_cast<uInt>(room);
    while (z.avail_out == room) {
        if (z.avail_in == 0) {
            const std::size_t got = raw.read(s.input.get(), State::inputSize);
            if (got == 0) {
                if (!raw.fault().empty()) {
                    failure = raw.fault();
                } else if (s.memberEnded) {
                    s.done = true;
                } else {
                    failure = "corrupt gzip stream: truncated";
                }
                break;
            }
            z.next_in = s.input.get();
            z.avail_in = static_cast<uInt>(got);
        }
        if (s.memberEnded) {
            // Another member may follow; anything else is not gzip.
            if (z.next_in[0] != 0x1F || (z.avail_in >= 2 && z.next_in[1] != 0x8B)) {
                failure = "corrupt gzip stream: data after the end of the stream";
                break;
            }
            inflateReset(&z);
            s.memberEnded = false;
        }
        const int result = inflate(&z, Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            s.memberEnded = true;
            continue;
        }
        if (result == Z_NEED_DICT || result == Z_DATA_ERROR || result == Z_STREAM_ERROR ||
            result == Z_MEM_ERROR) {
            failure = zlibFailure(result == Z_MEM_ERROR ? "out of memory" : "bad data", z);
            break;
        }
        // Z_OK or Z_BUF_ERROR: more input is needed.
    }
    return room - z.avail_out;
}

std::string gunzip(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& out) {
    out.clear();
    MemorySource memory(bytes, size);
    GzipSource gzip(memory);
    std::size_t produced = 0;
    for (;;) {
        if (out.size() - produced < 65536) out.resize(std::max<std::size_t>(out.size() * 2, 65536));
        const std::size_t count = gzip.read(out.data() + produced, out.size() - produced);
        produced += count;
        if (count == 0) break;
    }
    out.resize(produced);
    return gzip.fault();
}

}  // namespace quillon::reader
