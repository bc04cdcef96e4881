// Four threads, each writing its own file through its own writer at the same
// time, write the same bytes as the same calls made one after another.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <stdlib.h>
#include <unistd.h>

#include "quillon.h"

namespace fs = std::filesystem;

namespace {

std::vector<char> readAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A layout of every element kind, different for each seed, large enough that
// each writer's buffer fills several times.
void writeLayout(const fs::path& path, int seed) {
    QuillonOptions options;
    quillon_default_options(&options);
    const int stamp[6] = {2026, 12, 7, 8, 32, 51};
    for (int i = 0; i < 6; ++i) options.timestamp[i] = stamp[i];
    options.libraryName = "THREADS";
    int status = 0;
    QuillonWriter* w = quillon_open(path.c_str(), 0.001, 1e-9, &options, &status);
    ASSERT_NE(w, nullptr) << status;
    int failures = 0;
    const auto ok = [&](int result) { failures += result != QUILLON_OK; };
    ok(quillon_begin_structure(w, "CELL"));
    std::vector<int> xs(150), ys(150);
    for (int i = 0; i < 2500; ++i) {
        const int n = 3 + (i + seed) % 140;
        for (int k = 0; k < n; ++k) {
            xs[k] = seed * 1000 + i + k * 7;
            ys[k] = (k * k + i) % 9000;
        }
        ok(quillon_boundary(w, xs.data(), ys.data(), n, 1 + seed, 0, 0, 0));
        ok(quillon_path(w, xs.data(), ys.data(), n, 10, 2, 0, i % 3, 0, 0));
        ok(quillon_circle(w, i, seed, 100 + i % 50, 16 + i % 40, 3, 0, 0, 0));
        ok(quillon_text(w, i, -i, "net", 4, seed, 0, 0, 0, 0, 1.0, 90.0 * (i % 4), 0, 0));
    }
    ok(quillon_end_structure(w));
    ok(quillon_begin_structure(w, "TOP"));
    const int axs[3] = {0, 3000, 0}, ays[3] = {0, 0, 2000};
    ok(quillon_aref(w, "CELL", axs, ays, 3, 2, 0, 1.0, 0.0, 0, 0));
    ok(quillon_sref(w, "CELL", seed, seed, 0x8000, 2.0, 45.0, 0, 0));
    ok(quillon_end_structure(w));
    ok(quillon_close(w));
    EXPECT_EQ(failures, 0);
}

// Writes the layouts one after another, then at once, and compares. For a
// .gz suffix the two rounds compress on pools of aloneThreads and
// togetherThreads workers each.
void writeAloneThenTogether(const char* suffix, const char* aloneThreads,
                            const char* togetherThreads) {
    const fs::path dir = fs::temp_directory_path() / ("quillon-threads-" + std::to_string(getpid()));
    fs::create_directories(dir);
    constexpr int writers = 4;
    setenv("QUILLON_DEFLATE_THREADS", aloneThreads, 1);
    for (int seed = 0; seed < writers; ++seed)
        writeLayout(dir / ("alone-" + std::to_string(seed) + suffix), seed);
    setenv("QUILLON_DEFLATE_THREADS", togetherThreads, 1);
    std::vector<std::thread> threads;
    for (int seed = 0; seed < writers; ++seed)
        threads.emplace_back(
            [&, seed] { writeLayout(dir / ("together-" + std::to_string(seed) + suffix), seed); });
    for (std::thread& t : threads) t.join();
    unsetenv("QUILLON_DEFLATE_THREADS");
    for (int seed = 0; seed < writers; ++seed) {
        const auto alone = readAll(dir / ("alone-" + std::to_string(seed) + suffix));
        const auto together = readAll(dir / ("together-" + std::to_string(seed) + suffix));
        EXPECT_GT(alone.size(), 1024u * 1024);  // past the sink buffer or a block
        EXPECT_TRUE(alone == together) << "writer " << seed;
    }
    fs::remove_all(dir);
}

TEST(Threads, FourWritersAtOnceWriteWhatTheyWriteOneAfterAnother) {
    writeAloneThenTogether(".gds", "1", "1");
}

// Each gzip writer runs its own pool: the bytes depend neither on the
// pool's size nor on the timing of eight workers per writer.
TEST(Threads, FourGzipWritersOnPoolsOfEightWriteWhatOneWorkerWrites) {
    writeAloneThenTogether(".gds.gz", "1", "8");
}

}  // namespace
