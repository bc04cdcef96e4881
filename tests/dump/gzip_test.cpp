// Gzip-compressed input: quillon-dump lists a .gz file exactly as the file
// it holds, knows it by its magic bytes rather than its name, and gives one
// error line and exit status 1 for a corrupt stream.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include "byte_source.h"
#include "hex.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

// HEADER 3, LAYER 7, ENDLIB.
const char* const plainHex = "00 06 00 02 00 03  00 06 0D 02 00 07  00 04 04 00";

// Gzip header (deflate, no flags, no time, no extra flags, OS unknown), one
// final stored block of 16 bytes (LEN 0010, NLEN FFEF), then CRC-32
// 993A8057 and ISIZE 16, little-endian.
const char* const storedHex =
    "1F 8B 08 00 00000000 00 FF"
    "01 1000 EFFF"
    "00 06 00 02 00 03  00 06 0D 02 00 07  00 04 04 00"
    "57 80 3A 99  10 00 00 00";

// The same 16 bytes at deflate level 9 (one fixed-Huffman block), header
// with extra flags 02 (best compression) and OS 03 (Unix).
const char* const fixedHex =
    "1F 8B 08 00 00000000 02 03"
    "63 60 63 60 62 60 66 60 E3 65 62 60 67 60 61 61 00 00"
    "57 80 3A 99  10 00 00 00";

struct DumpRun {
    int status = -1;
    std::string out;
    std::string err;
};

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

fs::path writeTemp(const std::string& name, const Bytes& bytes) {
    const fs::path file =
        fs::temp_directory_path() / ("quillon-gzip-" + std::to_string(::getpid()) + "-" + name);
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return file;
}

DumpRun runDump(const std::string& arguments) {
    const fs::path out = writeTemp("out", {});
    const fs::path err = writeTemp("err", {});
    const std::string command = std::string("'") + QUILLON_DUMP + "' " + arguments + " >'" +
                                out.string() + "' 2>'" + err.string() + "'";
    const int raw = std::system(command.c_str());
    DumpRun run;
    if (raw != -1 && WIFEXITED(raw)) run.status = WEXITSTATUS(raw);
    run.out = slurp(out);
    run.err = slurp(err);
    fs::remove(out);
    fs::remove(err);
    return run;
}

DumpRun dumpBytes(const std::string& name, const Bytes& bytes, const char* mode = "") {
    const fs::path file = writeTemp(name, bytes);
    DumpRun run = runDump(std::string(mode) + "'" + file.string() + "'");
    fs::remove(file);
    return run;
}

TEST(DumpGzip, ListsACompressedFileAsTheFileItHolds) {
    const DumpRun plain = dumpBytes("plain.gds", hex(plainHex));
    ASSERT_EQ(plain.status, 0);
    ASSERT_EQ(plain.out,
              "         0      6  HEADER INT2 3\n"
              "         6      6  LAYER INT2 7\n"
              "        12      4  ENDLIB NODATA\n");
    const DumpRun plainSummary = dumpBytes("plain.gds", hex(plainHex), "--summary ");
    const struct {
        const char* name;
        Bytes bytes;
    } cases[] = {
        {"stored.gds.gz", hex(storedHex)},
        {"fixed.gds.gz", hex(fixedHex)},
        // The magic decides, not the name.
        {"stored-named.gds", hex(storedHex)},
    };
    for (const auto& c : cases) {
        const DumpRun listing = dumpBytes(c.name, c.bytes);
        EXPECT_EQ(listing.status, 0) << c.name;
        EXPECT_EQ(listing.err, "") << c.name;
        EXPECT_EQ(listing.out, plain.out) << c.name;
        const DumpRun summary = dumpBytes(c.name, c.bytes, "--summary ");
        EXPECT_EQ(summary.status, 0) << c.name;
        EXPECT_EQ(summary.out, plainSummary.out) << c.name;
    }
}

TEST(DumpGzip, InflatesEveryMemberOfAConcatenatedFile) {
    Bytes out;
    EXPECT_EQ(quillon::reader::gunzip(hex(storedHex).data(), hex(storedHex).size(), out), "");
    EXPECT_EQ(out, hex(plainHex));
    const Bytes twice = hex(storedHex) + hex(fixedHex);
    EXPECT_EQ(quillon::reader::gunzip(twice.data(), twice.size(), out), "");
    EXPECT_EQ(out, hex(plainHex) + hex(plainHex));
    EXPECT_TRUE(quillon::reader::isGzip(twice.data(), twice.size()));
    EXPECT_FALSE(quillon::reader::isGzip(hex(plainHex).data(), hex(plainHex).size()));
    // A compressed file larger than the first guess at its size.
    Bytes big = hex("00 06 00 02 00 03");
    for (int i = 0; i < 20000; ++i) big = big + hex("00 06 0D 02 00 07");
    big = big + hex("00 04 04 00");
    Bytes stored = hex("1F 8B 08 00 00000000 00 FF");
    for (std::size_t at = 0; at < big.size(); at += 65535) {
        const std::size_t n = std::min<std::size_t>(65535, big.size() - at);
        const bool last = at + n == big.size();
        stored.push_back(last ? 1 : 0);
        for (unsigned v : {unsigned(n), unsigned(~n & 0xFFFF)}) {
            stored.push_back(static_cast<std::uint8_t>(v & 0xFF));
            stored.push_back(static_cast<std::uint8_t>(v >> 8));
        }
        stored.insert(stored.end(), big.begin() + static_cast<std::ptrdiff_t>(at),
                      big.begin() + static_cast<std::ptrdiff_t>(at + n));
    }
    // A wrong CRC-32 is all that stands between this stream and success.
    stored = stored + hex("00 00 00 00");
    const auto size = static_cast<std::uint32_t>(big.size());
    for (int shift = 0; shift < 32; shift += 8) stored.push_back(static_cast<std::uint8_t>(size >> shift));
    EXPECT_EQ(quillon::reader::gunzip(stored.data(), stored.size(), out),
              "corrupt gzip stream: bad data (incorrect data check)");
    EXPECT_EQ(out, big);
}

TEST(DumpGzip, ACorruptStreamGivesOneErrorLineAndExitOne) {
    Bytes badCrc = hex(storedHex);
    badCrc[badCrc.size() - 8] ^= 0x01;
    Bytes badLength = hex(storedHex);
    badLength[badLength.size() - 4] = 0x11;
    Bytes badNlen = hex(storedHex);
    badNlen[13] = 0xEE;
    const Bytes stored = hex(storedHex);
    const Bytes truncated(stored.begin(), stored.begin() + 25);
    const struct {
        const char* name;
        Bytes bytes;
        const char* error;
        const char* out;  // the records of what was inflated before the fault
    } cases[] = {
        {"bad-crc.gds.gz", badCrc, "bad data (incorrect data check)",
         "         0      6  HEADER INT2 3\n"
         "         6      6  LAYER INT2 7\n"
         "        12      4  ENDLIB NODATA\n"},
        {"bad-length.gds.gz", badLength, "bad data (incorrect length check)",
         "         0      6  HEADER INT2 3\n"
         "         6      6  LAYER INT2 7\n"
         "        12      4  ENDLIB NODATA\n"},
        {"bad-nlen.gds.gz", badNlen, "bad data (invalid stored block lengths)", ""},
        {"truncated.gds.gz", truncated, "truncated", "         0      6  HEADER INT2 3\n"},
        {"reserved-block.gds.gz", hex("1F 8B 08 00 00000000 00 FF 07 00"),
         "bad data (invalid block type)", ""},
        {"header-only.gds.gz", hex("1F 8B"), "truncated", ""},
        {"trailing.gds.gz", hex(storedHex) + hex("00 00"), "data after the end of the stream",
         "         0      6  HEADER INT2 3\n"
         "         6      6  LAYER INT2 7\n"
         "        12      4  ENDLIB NODATA\n"},
    };
    for (const auto& c : cases) {
        for (const char* mode : {"", "--summary "}) {
            const DumpRun run = dumpBytes(c.name, c.bytes, mode);
            EXPECT_EQ(run.status, 1) << c.name << mode;
            const std::regex line("quillon-dump: [^\n]*" + std::string(c.name) +
                                  ": corrupt gzip stream: [^\n]+\n");
            EXPECT_TRUE(std::regex_match(run.err, line)) << c.name << ": " << run.err;
            EXPECT_NE(run.err.find(c.error), std::string::npos) << c.name << ": " << run.err;
            if (*mode == 0) {
                EXPECT_EQ(run.out, c.out) << c.name;
            }
        }
    }
}

}  // namespace
