// Faults of compressed output reach the caller at the close, under the
// status rules of any file: a disk that is full (/dev/full) is an I/O
// error, a block that a worker cannot compress for lack of memory is a
// memory error. The allocation failure is injected by this program's own
// operator new, which fails, while armed, on every thread but the test's.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>
#include <thread>

#include <unistd.h>

#include "quillon.h"

namespace {
std::atomic<bool> armed{false};
const std::thread::id testThread = std::this_thread::get_id();
}  // namespace

void* operator new(std::size_t size) {
    if (armed && std::this_thread::get_id() != testThread) throw std::bad_alloc();
    if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
    throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { std::free(p); }

namespace {

std::string lastMessage;
void QUILLON_CALL remember(void*, int, const char* message) { lastMessage = message; }

TEST(GzipFaults, ReachTheCloseAsAnIoOrAMemoryError) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::temp_directory_path() / ("quillon-gzip-faults-" + std::to_string(getpid()));
    fs::create_directories(dir);
    fs::create_symlink("/dev/full", dir / "full.gds.gz");
    const struct {
        const char* name;
        bool injected;
        int status;
        const char* message;
    } cases[] = {
        {"full.gds.gz", false, QUILLON_ERROR_IO, "Error: Cannot write GDSII file."},
        {"memory.gds.gz", true, QUILLON_ERROR_MEMORY, "Error: Out of memory."},
        {"fine.gds.gz", false, QUILLON_OK, ""},
    };
    for (const auto& c : cases) {
        for (const char* threads : {"1", "2"}) {
            setenv("QUILLON_DEFLATE_THREADS", threads, 1);
            QuillonOptions options;
            quillon_default_options(&options);
            options.onError = remember;
            lastMessage.clear();
            QuillonWriter* w =
                quillon_open((dir / c.name).c_str(), 0.001, 1e-9, &options, nullptr);
            ASSERT_NE(w, nullptr) << c.name;
            armed = c.injected;
            // About 5 MiB: five blocks, more than a pool of one holds.
            quillon_begin_structure(w, "TOP");
            for (int i = 0; i < 100000; ++i) quillon_box(w, i, 0, i + 10 + i % 7, 10, 1, 0, 0, 0);
            quillon_end_structure(w);
            EXPECT_EQ(quillon_close(w), c.status) << c.name << " " << threads;
            EXPECT_EQ(lastMessage, c.message) << c.name << " " << threads;
            armed = false;
        }
    }
    unsetenv("QUILLON_DEFLATE_THREADS");
    fs::remove_all(dir);
}

}  // namespace
