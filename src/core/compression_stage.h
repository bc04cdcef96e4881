// The compression stage of every compressed output: bytes in, blocks of
// compressed bytes out, in order. The caller fills input blocks of
// blockSize bytes in place and submits them; a pool of worker threads
// deflates each submitted block on its own (a complete raw deflate stream,
// raw_deflate.h) and computes its CRC-32; the caller's thread hands the
// finished blocks to the Output in the order they were submitted.
//
// The bytes out depend only on the bytes in, where the caller cut its
// blocks and the level: never on the pool's size or the threads' timing.
// Memory is bounded by a fixed number of blocks in flight: the pool's size
// plus two, each holding its input and its compressed bytes (about 2 MiB);
// submit waits for the oldest block when every one is taken.
//
// The threads are started by start and ended by finish (or the
// destructor): none outlives the stage. Where the C++ library has no
// threads (mingw-w64's win32 thread model, the Windows DLLs), the caller's
// thread compresses each block as it is submitted. The first fault (a block that
// cannot be compressed for lack of memory, an Output that refuses a block)
// fails the stage for good: every later submit answers false, and finish
// too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#if !defined(__GLIBCXX__) || defined(_GLIBCXX_HAS_GTHREADS)
#define QUILLON_COMPRESSION_THREADS 1
#include <condition_variable>
#include <mutex>
#include <thread>
#endif

#include "raw_deflate.h"

namespace quillon {

class CompressionStage {
public:
    // The input of a full block.
    static constexpr std::size_t blockSize = std::size_t{1} << 20;
    // The most worker threads a stage takes.
    static constexpr unsigned maxThreads = 64;

    // One compressed block: its raw deflate stream and what it holds.
    struct Block {
        const std::uint8_t* data;
        std::size_t size;
        std::size_t inputSize;
        std::uint32_t crc;  // of the input bytes
    };
    // Where the finished blocks go, on the caller's thread, in order.
    class Output {
    public:
        // False when the block could not be written: the stage fails.
        virtual bool writeBlock(const Block& block) = 0;

    protected:
        ~Output() = default;
    };

    // The pool size when none is given: the environment variable
    // QUILLON_DEFLATE_THREADS when it holds a number from 1 to maxThreads,
    // otherwise one thread per core, at most 8 (0 without threads).
    static unsigned defaultThreads();

    CompressionStage() = default;
    ~CompressionStage();
    CompressionStage(const CompressionStage&) = delete;
    CompressionStage& operator=(const CompressionStage&) = delete;

    // Starts threads workers (0: defaultThreads(), more than maxThreads:
    // maxThreads) compressing at level (1 to 9) for output, which must
    // outlive the stage's run. False, with nothing started, for a level
    // outside 1 to 9, a stage already running, or when memory or threads
    // run out.
    bool start(int level, unsigned threads, Output& output);
    bool running() const { return started; }
    // A fault came up since start.
    bool failed() const { return broken; }
    // The fault was a lack of memory.
    bool outOfMemory() const { return memoryFault; }

    // The block being filled: blockSize bytes (nullptr when not running or
    // failed).
    std::uint8_t* block() { return current; }
    // Submits the first used bytes of block() (at most blockSize), writes
    // every block finished in order so far, and makes block() a fresh
    // block, waiting for the oldest in flight when all are taken; for the
    // last block, block() becomes nullptr instead. False when the stage has
    // failed.
    bool submit(std::size_t used, bool last = false);
    // Waits until every block submitted has been written. False when the
    // stage has failed.
    bool drain();
    // Drains, then ends the threads. True when every block submitted since
    // start was written; false also when nothing was running.
    bool finish();

private:
    enum class SlotState { free, queued, done, failed };
    struct Slot {
        std::vector<std::uint8_t> input;
        std::vector<std::uint8_t> output;
        std::size_t used = 0;
        std::uint32_t crc = 0;
        SlotState state = SlotState::free;
    };

    // Compresses the slot's input into its output; false for lack of
    // memory.
    static bool compress(RawDeflater& deflater, Slot& slot);
    void work();
    // Writes the oldest block in flight, waiting for it first when wait is
    // set. False when it was not finished (and wait not set) or a fault
    // came up.
    bool writeOldest(bool wait);
    // Ends and joins every worker.
    void stop();
    void fail(bool memory);
    Slot& slotOf(std::uint64_t sequence) { return slots[sequence % slots.size()]; }

    int level = 0;
    Output* output = nullptr;
    std::vector<Slot> slots;
    std::uint8_t* current = nullptr;
    bool started = false;
    bool broken = false;
    bool memoryFault = false;
    // The caller's own deflater, when there are no workers.
    RawDeflater callerDeflater;
    bool callerDeflaterReady = false;

    std::uint64_t submitted = 0;  // blocks handed to the pool
    std::uint64_t taken = 0;      // blocks a worker has taken
    std::uint64_t written = 0;    // blocks written to the output (caller only)
#ifdef QUILLON_COMPRESSION_THREADS
    std::vector<std::thread> workers;
    // Guards the slots' states, submitted, taken and stopping.
    std::mutex lock;
    std::condition_variable workToDo;
    std::condition_variable blockDone;
    bool stopping = false;
#endif
};

}  // namespace quillon
