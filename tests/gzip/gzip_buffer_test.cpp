// The gzip stream buffer and the file's choice of it: what comes out
// inflates to exactly the bytes written, whatever the pattern of writes and
// the level; the header is the same on every build; a target that refuses
// bytes at any point (data, trailer, flush) fails the stream and the close.
#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/gdsii_file.h"
#include "core/gzip_buffer.h"
#include "byte_source.h"
#include "inflate.h"

namespace {

using gztest::Bytes;
using gztest::inflateGzip;
using quillon::GzipBuffer;

// Bytes that look like GDSII: records of a few kinds with slowly varying
// coordinates, so that deflate has both repeats and fresh bytes to work on.
Bytes sampleBytes(std::size_t size) {
    Bytes bytes;
    bytes.reserve(size);
    std::uint32_t x = 12345;
    while (bytes.size() < size) {
        x = x * 1103515245u + 12345u;
        const std::uint8_t record[] = {0x00, 0x0C, 0x10, 0x03, 0x00, 0x00,
                                       static_cast<std::uint8_t>(x >> 24),
                                       static_cast<std::uint8_t>(x >> 16), 0x00, 0x01,
                                       static_cast<std::uint8_t>(x >> 8), 0x40};
        for (std::uint8_t b : record) {
            if (bytes.size() == size) break;
            bytes.push_back(b);
        }
    }
    return bytes;
}

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

// A target that takes at most `room` bytes and then refuses; its sync fails
// when told to.
class LimitedTarget : public std::streambuf {
public:
    explicit LimitedTarget(std::size_t room, bool syncFails = false)
        : room(room), syncFails(syncFails) {}
    Bytes taken;

protected:
    std::streamsize xsputn(const char* data, std::streamsize n) override {
        const std::size_t take = std::min(room - taken.size(), static_cast<std::size_t>(n));
        taken.insert(taken.end(), data, data + take);
        return static_cast<std::streamsize>(take);
    }
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char ch = traits_type::to_char_type(c);
        return xsputn(&ch, 1) == 1 ? c : traits_type::eof();
    }
    int sync() override { return syncFails ? -1 : 0; }

private:
    std::size_t room;
    bool syncFails;
};

// Writes data through a gzip buffer at level in pieces of `piece` bytes
// (1: one character at a time, through the put area's overflow), on a pool
// of `threads` workers (0: the default).
Bytes compress(const Bytes& data, int level, std::size_t piece, unsigned threads = 0) {
    std::stringbuf target;
    GzipBuffer gzip;
    EXPECT_TRUE(gzip.attach(&target, level, threads));
    std::ostream out(&gzip);
    for (std::size_t at = 0; at < data.size(); at += piece) {
        const std::size_t n = std::min(piece, data.size() - at);
        if (n == 1) {
            out.put(static_cast<char>(data[at]));
        } else {
            out.write(reinterpret_cast<const char*>(data.data() + at),
                      static_cast<std::streamsize>(n));
        }
    }
    EXPECT_TRUE(out.good());
    EXPECT_TRUE(gzip.close());
    return bytesOf(target.str());
}

TEST(GzipBuffer, InflatesToTheBytesWrittenForEveryLevelAndWritePattern) {
    const Bytes data = sampleBytes(3 * 1024 * 1024 + 77);
    const struct {
        int level;
        std::size_t piece;
    } cases[] = {
        {1, 2 * 1024 * 1024},  // the sink's blocks
        {1, 65536},            // exactly the put area
        {1, 65535},            // just under: collected, then deflated
        {1, 100000},           // over: straight from the caller
        {1, 7},
        {6, 4096},
        {9, 2 * 1024 * 1024},
    };
    for (const auto& c : cases) {
        const Bytes gz = compress(data, c.level, c.piece);
        EXPECT_LT(gz.size(), data.size() / 2) << c.level << " " << c.piece;
        EXPECT_EQ(inflateGzip(gz), data) << c.level << " " << c.piece;
    }
    // Single characters through overflow, on a smaller sample.
    const Bytes small = sampleBytes(200000);
    EXPECT_EQ(inflateGzip(compress(small, 1, 1)), small);
    // Nothing written at all is still a complete (empty) gzip stream.
    EXPECT_EQ(inflateGzip(compress({}, 1, 1)), Bytes{});
}

TEST(GzipBuffer, EveryPoolSizeWritesTheSameFileThatZlibAndQuillonsReaderInflate) {
    // One member per MiB of input: small files are one, the large one four.
    for (const std::size_t size : {std::size_t{1000}, std::size_t{3 * 1024 * 1024 + 77}}) {
        const Bytes data = sampleBytes(size);
        for (const int level : {1, 6, 9}) {
            const Bytes one = compress(data, level, 65536, 1);
            EXPECT_EQ(inflateGzip(one), data) << size << " " << level;
            Bytes read;
            EXPECT_EQ(quillon::reader::gunzip(one.data(), one.size(), read), "");
            EXPECT_EQ(read, data) << size << " " << level;
            for (const unsigned threads : {2u, 8u})
                EXPECT_TRUE(compress(data, level, 65536, threads) == one)
                    << size << " " << level << " " << threads;
        }
    }
}

TEST(GzipBuffer, WritesTheSameHeaderOnEveryBuild) {
    // Magic, deflate, no flags, no time, extra flags (4: fastest, 2: best,
    // 0: other levels), operating system 255 (unknown).
    const Bytes data = sampleBytes(1000);
    const struct {
        int level;
        const char* header;
    } cases[] = {{1, "\x1F\x8B\x08\x00\x00\x00\x00\x00\x04\xFF"},
                 {6, "\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\xFF"},
                 {9, "\x1F\x8B\x08\x00\x00\x00\x00\x00\x02\xFF"}};
    for (const auto& c : cases) {
        const Bytes gz = compress(data, c.level, data.size());
        ASSERT_GE(gz.size(), 10u);
        EXPECT_EQ(Bytes(gz.begin(), gz.begin() + 10),
                  Bytes(c.header, c.header + 10)) << c.level;
    }
}

TEST(GzipBuffer, RefusesLevelsOutsideOneToNine) {
    std::stringbuf target;
    GzipBuffer gzip;
    EXPECT_FALSE(gzip.attach(&target, 0));
    EXPECT_FALSE(gzip.attach(&target, 10));
    EXPECT_FALSE(gzip.attach(&target, -1));
    EXPECT_FALSE(gzip.is_open());
    EXPECT_FALSE(gzip.close());
    EXPECT_FALSE(gzip.open("/nonexistent-dir/x.gds.gz", 1));
    EXPECT_FALSE(gzip.is_open());
}

TEST(GzipBuffer, ATargetThatRefusesBytesFailsTheStreamAndTheClose) {
    // Blocks go to the target as they finish on the pool: a refusal shows
    // at a later write or at the latest at the close.
    const Bytes data = sampleBytes(3 * 1024 * 1024);
    const Bytes whole = compress(data, 1, 2 * 1024 * 1024);
    const struct {
        const char* what;
        std::size_t room;
        bool syncFails;
    } cases[] = {
        {"nothing taken", 0, false},
        {"full after the header", 10, false},
        {"full in the middle", whole.size() / 2, false},
        {"full before the trailer", whole.size() - 8, false},
        {"one byte short", whole.size() - 1, false},
        {"sync fails", whole.size(), true},
    };
    for (const auto& c : cases) {
        LimitedTarget target(c.room, c.syncFails);
        GzipBuffer gzip;
        ASSERT_TRUE(gzip.attach(&target, 1));
        std::ostream out(&gzip);
        for (std::size_t at = 0; at < data.size(); at += 2 * 1024 * 1024) {
            const std::size_t n = std::min<std::size_t>(2 * 1024 * 1024, data.size() - at);
            out.write(reinterpret_cast<const char*>(data.data() + at),
                      static_cast<std::streamsize>(n));
        }
        EXPECT_EQ(out.bad(), gzip.failed()) << c.what;
        EXPECT_FALSE(gzip.close()) << c.what;
        EXPECT_FALSE(gzip.is_open()) << c.what;
        EXPECT_LE(target.taken.size(), c.room) << c.what;
        EXPECT_EQ(gzip.failed(), !c.syncFails) << c.what;
        // Once closed, nothing more gets through.
        out.clear();
        out.write("x", 1);
        EXPECT_TRUE(out.bad()) << c.what;
    }
    // With room for every byte it succeeds, and the buffer can start again.
    LimitedTarget exact(whole.size());
    GzipBuffer gzip;
    for (int round = 0; round < 2; ++round) {
        exact.taken.clear();
        ASSERT_TRUE(gzip.attach(&exact, 1));
        std::ostream out(&gzip);
        out.write(reinterpret_cast<const char*>(data.data()), 2 * 1024 * 1024);
        out.write(reinterpret_cast<const char*>(data.data()) + 2 * 1024 * 1024,
                  static_cast<std::streamsize>(data.size() - 2 * 1024 * 1024));
        EXPECT_TRUE(out.good());
        EXPECT_TRUE(gzip.close());
        EXPECT_EQ(exact.taken, whole);
    }
}

TEST(GzipBuffer, SyncMakesEverythingWrittenSoFarDecodable) {
    std::stringbuf target;
    GzipBuffer gzip;
    ASSERT_TRUE(gzip.attach(&target, 1));
    std::ostream out(&gzip);
    const Bytes data = sampleBytes(5000);
    out.write(reinterpret_cast<const char*>(data.data()), 5000);
    out.flush();
    EXPECT_TRUE(out.good());
    // What the target holds so far is whole members holding every byte.
    EXPECT_EQ(inflateGzip(bytesOf(target.str())), data);
    EXPECT_TRUE(gzip.close());
    EXPECT_EQ(inflateGzip(bytesOf(target.str())), data);
}

// The file's choice between plain and gzip output.
std::filesystem::path temp(const std::string& name) {
    const auto dir = std::filesystem::temp_directory_path() /
                     ("quillon-gzip-unit-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    return dir / name;
}

Bytes readAll(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(GzipFile, TheSettingAndTheNameDecideWhetherTheFileIsCompressed) {
    const Bytes data = sampleBytes(300000);
    const struct {
        int setting;
        const char* name;
        bool compressed;
    } cases[] = {
        {-1, "a.gds", false},      {-1, "a.gds.gz", true},  {-1, "A.GDS.GZ", true},
        {-1, "a.gds.Gz", true},    {-1, "a.gz.gds", false}, {-1, "a.tgz", false},
        {-1, "gz", false},         {0, "a.gds.gz", false},  {1, "a.gds", true},
        {9, "a.gds", true},        {6, "a.gds.gz", true},
    };
    for (const auto& c : cases) {
        quillon::GDSIIFile file;
        ASSERT_TRUE(file.setCompression(c.setting));
        EXPECT_EQ(file.compression(), c.setting);
        const auto path = temp(c.name);
        ASSERT_TRUE(file.openFile(path.c_str())) << c.name;
        EXPECT_EQ(file.compressing(), c.compressed) << c.setting << " " << c.name;
        EXPECT_TRUE(file.isOpen());
        file.stream().write(reinterpret_cast<const char*>(data.data()),
                            static_cast<std::streamsize>(data.size()));
        EXPECT_TRUE(file.closeFile()) << c.name;
        EXPECT_FALSE(file.isOpen());
        const Bytes written = readAll(path);
        EXPECT_EQ(c.compressed ? inflateGzip(written) : written, data) << c.setting << " " << c.name;
        std::filesystem::remove(path);
    }
    quillon::GDSIIFile file;
    for (int bad : {-2, 10, 100}) EXPECT_FALSE(file.setCompression(bad));
    EXPECT_EQ(file.compression(), -1);
}

TEST(GzipFile, FailuresAreFoundAsForAPlainFile) {
    if (!std::filesystem::exists("/dev/full")) FAIL() << "/dev/full is missing";
    // /dev/full opens but takes no byte: forced to compress, the file
    // opens, and the close answers false. Plain, it answers the same.
    for (int setting : {0, 1}) {
        quillon::GDSIIFile file;
        file.setCompression(setting);
        ASSERT_TRUE(file.openFile("/dev/full"));
        EXPECT_EQ(file.compressing(), setting == 1);
        const Bytes data = sampleBytes(1000);
        file.stream().write(reinterpret_cast<const char*>(data.data()), 1000);
        EXPECT_FALSE(file.closeFile()) << setting;
        // A new export starts on a clean stream.
        const auto path = temp("after-full.gds.gz");
        file.setCompression(-1);
        ASSERT_TRUE(file.openFile(path.c_str()));
        file.stream().write(reinterpret_cast<const char*>(data.data()), 1000);
        EXPECT_TRUE(file.stream().good());
        EXPECT_TRUE(file.closeFile());
        EXPECT_EQ(inflateGzip(readAll(path)), data);
    }
    // An unopenable .gz name: not open, the stream failed, bytes dropped,
    // and the close of the failed open is not reported again.
    quillon::GDSIIFile file;
    EXPECT_FALSE(file.openFile("/nonexistent-dir/x.gds.gz"));
    EXPECT_FALSE(file.isOpen());
    EXPECT_TRUE(file.stream().fail());
    file.stream().write("abcd", 4);
    EXPECT_TRUE(file.closeFile());
}

}  // namespace
