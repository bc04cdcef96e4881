#include "compression_stage.h"

#include <algorithm>
#include <cstdlib>
#include <new>
#include <system_error>

namespace quillon {

#ifdef QUILLON_COMPRESSION_THREADS
using Guard = std::lock_guard<std::mutex>;
#endif

unsigned CompressionStage::defaultThreads() {
#ifdef QUILLON_COMPRESSION_THREADS
    if (const char* text = std::getenv("QUILLON_DEFLATE_THREADS")) {
        char* end = nullptr;
        const long n = std::strtol(text, &end, 10);
        if (end != text && *end == '\0' && n >= 1 && n <= static_cast<long>(maxThreads))
            return static_cast<unsigned>(n);
    }
    return std::clamp(std::thread::hardware_concurrency(), 1u, 8u);
#else
    return 0;
#endif
}

CompressionStage::~CompressionStage() { stop(); }

bool CompressionStage::start(int newLevel, unsigned threads, Output& newOutput) {
    if (started || newLevel < 1 || newLevel > 9) return false;
    if (threads == 0) threads = defaultThreads();
    threads = std::min(threads, maxThreads);
#ifndef QUILLON_COMPRESSION_THREADS
    threads = 0;
#endif
    level = newLevel;
    output = &newOutput;
    broken = false;
    memoryFault = false;
    submitted = taken = written = 0;
    callerDeflaterReady = false;
    try {
        // The input blocks are allocated as they are first filled, so that
        // a small file takes one.
        slots.assign(threads + 2, Slot{});
        slots[0].input.resize(blockSize);
#ifdef QUILLON_COMPRESSION_THREADS
        stopping = false;
        for (unsigned i = 0; i < threads; ++i) workers.emplace_back([this] { work(); });
#endif
    } catch (const std::bad_alloc&) {
        stop();
        return false;
    } catch (const std::system_error&) {
        stop();
        return false;
    }
    started = true;
    current = slots[0].input.data();
    return true;
}

bool CompressionStage::compress(RawDeflater& deflater, Slot& slot) {
    slot.output.clear();
    if (!deflater.compress(slot.input.data(), slot.used, slot.output)) return false;
    slot.crc = crc32Of(0, slot.input.data(), slot.used);
    return true;
}

#ifdef QUILLON_COMPRESSION_THREADS
void CompressionStage::work() {
    RawDeflater deflater;
    bool ready = false;
    std::unique_lock<std::mutex> held(lock);
    for (;;) {
        workToDo.wait(held, [this] { return stopping || taken < submitted; });
        if (stopping) return;
        Slot& slot = slotOf(taken++);
        held.unlock();
        // The slot is this worker's alone until it is marked done.
        if (!ready) ready = deflater.setLevel(level);
        const bool compressed = ready && compress(deflater, slot);
        held.lock();
        slot.state = compressed ? SlotState::done : SlotState::failed;
        blockDone.notify_all();
    }
}
#endif

void CompressionStage::fail(bool memory) {
    if (!broken) memoryFault = memory;
    broken = true;
    current = nullptr;
}

bool CompressionStage::writeOldest(bool wait) {
    Slot& slot = slotOf(written);
#ifdef QUILLON_COMPRESSION_THREADS
    {
        std::unique_lock<std::mutex> held(lock);
        const auto finished = [&slot] {
            return slot.state == SlotState::done || slot.state == SlotState::failed;
        };
        if (wait) blockDone.wait(held, finished);
        else if (!finished()) return false;
    }
#else
    (void)wait;
#endif
    if (slot.state == SlotState::failed) {
        fail(true);
        return false;
    }
    const Block block{slot.output.data(), slot.output.size(), slot.used, slot.crc};
    if (!output->writeBlock(block)) {
        fail(false);
        return false;
    }
#ifdef QUILLON_COMPRESSION_THREADS
    {
        Guard held(lock);
        slot.state = SlotState::free;
    }
#else
    slot.state = SlotState::free;
#endif
    ++written;
    return true;
}

bool CompressionStage::submit(std::size_t used, bool last) {
    if (broken || !started) return false;
    Slot& slot = slotOf(submitted);
    slot.used = std::min(used, blockSize);
#ifdef QUILLON_COMPRESSION_THREADS
    if (!workers.empty()) {
        {
            Guard held(lock);
            slot.state = SlotState::queued;
            ++submitted;
        }
        workToDo.notify_one();
    } else
#endif
    {
        // No workers: the block is compressed here and now.
        if (!callerDeflaterReady) callerDeflaterReady = callerDeflater.setLevel(level);
        const bool compressed = callerDeflaterReady && compress(callerDeflater, slot);
        slot.state = compressed ? SlotState::done : SlotState::failed;
        ++submitted;
    }
    // What is finished goes out at once; the next block's slot must be free.
    while (written < submitted && writeOldest(false)) {
    }
    if (broken) return false;
    if (last) {
        current = nullptr;
        return true;
    }
    while (submitted - written >= slots.size()) {
        if (!writeOldest(true)) return false;
    }
    Slot& next = slotOf(submitted);
    try {
        next.input.resize(blockSize);
    } catch (const std::bad_alloc&) {
        fail(true);
        return false;
    }
    current = next.input.data();
    return true;
}

bool CompressionStage::drain() {
    while (!broken && written < submitted) writeOldest(true);
    return !broken && started;
}

bool CompressionStage::finish() {
    const bool ok = drain();
    stop();
    return ok;
}

void CompressionStage::stop() {
#ifdef QUILLON_COMPRESSION_THREADS
    {
        Guard held(lock);
        stopping = true;
    }
    workToDo.notify_all();
    for (std::thread& worker : workers) worker.join();
    workers.clear();
#endif
    slots.clear();
    current = nullptr;
    started = false;
}

}  // namespace quillon
