// deflate-libraries: the speed and ratio of each deflate library on the
// bytes of GDSII files, one core, the way the compression stage cuts them:
// independent blocks of 1 MiB, each a raw deflate stream. It measures zlib,
// libdeflate and (when the build found it) ISA-L's igzip at the levels
// users ask for, reading each file into memory first, best of three passes.
//
//   deflate-libraries FILE...
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <libdeflate.h>
#include <zlib.h>
#ifdef QUILLON_BENCH_ISAL
#include <isa-l/igzip_lib.h>
#endif

namespace {

constexpr std::size_t blockSize = 1 << 20;
using Bytes = std::vector<unsigned char>;

double now() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

// Each returns the compressed size of one block, 0 on failure.
std::size_t withZlib(int level, const unsigned char* in, std::size_t n, Bytes& out) {
    z_stream z{};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) return 0;
    z.next_in = const_cast<unsigned char*>(in);
    z.avail_in = static_cast<uInt>(n);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&z, Z_FINISH);
    deflateEnd(&z);
    return result == Z_STREAM_END ? out.size() - z.avail_out : 0;
}

std::size_t withLibdeflate(int level, const unsigned char* in, std::size_t n, Bytes& out) {
    libdeflate_compressor* c = libdeflate_alloc_compressor(level);
    if (c == nullptr) return 0;
    const std::size_t size = libdeflate_deflate_compress(c, in, n, out.data(), out.size());
    libdeflate_free_compressor(c);
    return size;
}

#ifdef QUILLON_BENCH_ISAL
std::size_t withIsal(int level, const unsigned char* in, std::size_t n, Bytes& out) {
    static const std::uint32_t levelBuffers[] = {ISAL_DEF_LVL0_DEFAULT, ISAL_DEF_LVL1_DEFAULT,
                                                 ISAL_DEF_LVL2_DEFAULT, ISAL_DEF_LVL3_DEFAULT};
    std::vector<std::uint8_t> levelBuffer(levelBuffers[level]);
    isal_zstream s;
    isal_deflate_stateless_init(&s);
    s.level = static_cast<std::uint32_t>(level);
    s.level_buf = levelBuffer.empty() ? nullptr : levelBuffer.data();
    s.level_buf_size = static_cast<std::uint32_t>(levelBuffer.size());
    s.next_in = const_cast<unsigned char*>(in);
    s.avail_in = static_cast<std::uint32_t>(n);
    s.next_out = out.data();
    s.avail_out = static_cast<std::uint32_t>(out.size());
    s.end_of_stream = 1;
    return isal_deflate_stateless(&s) == COMP_OK ? out.size() - s.avail_out : 0;
}
#endif

struct Library {
    const char* name;
    int level;
    std::size_t (*compress)(int, const unsigned char*, std::size_t, Bytes&);
};

const Library libraries[] = {
    {"zlib", 1, withZlib},           {"zlib", 6, withZlib},
    {"zlib", 9, withZlib},           {"libdeflate", 1, withLibdeflate},
    {"libdeflate", 3, withLibdeflate}, {"libdeflate", 6, withLibdeflate},
    {"libdeflate", 9, withLibdeflate}, {"libdeflate", 12, withLibdeflate},
#ifdef QUILLON_BENCH_ISAL
    {"ISA-L", 0, withIsal},          {"ISA-L", 1, withIsal},
    {"ISA-L", 2, withIsal},          {"ISA-L", 3, withIsal},
#endif
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: deflate-libraries FILE...\n");
        return 2;
    }
    std::printf("%-28s %-11s %5s %12s %12s %8s %8s %10s\n", "file", "library", "level", "bytes in",
                "bytes out", "ratio", "MB/s", "vs zlib 1");
    for (int f = 1; f < argc; ++f) {
        std::ifstream file(argv[f], std::ios::binary);
        const Bytes input((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
        if (!file.good() && !file.eof()) return 2;
        Bytes out(blockSize + blockSize / 8 + 1024);
        double zlibOne = 0;
        for (const Library& library : libraries) {
            double best = 1e30;
            std::uint64_t total = 0;
            for (int pass = 0; pass < 3; ++pass) {
                total = 0;
                const double start = now();
                for (std::size_t at = 0; at < input.size(); at += blockSize) {
                    const std::size_t n = std::min(blockSize, input.size() - at);
                    const std::size_t size = library.compress(library.level, &input[at], n, out);
                    if (size == 0) {
                        std::fprintf(stderr, "%s level %d failed\n", library.name, library.level);
                        return 1;
                    }
                    total += size;
                }
                best = std::min(best, now() - start);
            }
            const double ratio = static_cast<double>(input.size()) / static_cast<double>(total);
            if (zlibOne == 0) zlibOne = ratio;
            std::printf("%-28s %-11s %5d %12zu %12llu %7.2fx %8.1f %9.3f\n", argv[f], library.name,
                        library.level, input.size(), static_cast<unsigned long long>(total), ratio,
                        static_cast<double>(input.size()) / 1e6 / best, ratio / zlibOne);
            std::fflush(stdout);
        }
    }
    return 0;
}
