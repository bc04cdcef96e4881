// A stream buffer that compresses everything written to it into a gzip
// file (RFC 1952) and hands the compressed bytes to a target buffer: a file
// of its own (open) or any buffer (attach), the latter for the tests.
//
// The put area is the compression stage's current block (1 MiB): each full
// block is deflated on the stage's worker threads and becomes one gzip
// member (header, raw deflate stream, CRC-32 and length), written to the
// target in order. Every gzip reader (zlib, gzip, KLayout, Python's gzip)
// reads the members one after another as a single stream. The first
// failure (the target refusing bytes, a block that cannot be compressed)
// makes the buffer failed for good: every later write is refused, so that
// the ostream over it goes bad, and close() answers false. A failure may
// come to light only at the close, since blocks are written as they finish.
#pragma once

#include <cstddef>
#include <fstream>
#include <streambuf>

#include "compression_stage.h"

namespace quillon {

class GzipBuffer : public std::streambuf, private CompressionStage::Output {
public:
    GzipBuffer() = default;
    ~GzipBuffer() override;
    GzipBuffer(const GzipBuffer&) = delete;
    GzipBuffer& operator=(const GzipBuffer&) = delete;

    // Creates or truncates fileName for binary output and starts a gzip
    // stream at level (1 to 9), compressed by threads workers (0: the
    // stage's default). False when the file cannot be opened or the
    // compressor cannot be set up; the buffer is then closed.
    bool open(const char* fileName, int level, unsigned threads = 0);
    // Starts a gzip stream at level written to target, which must outlive
    // the stream (it is not closed by close()).
    bool attach(std::streambuf* target, int level, unsigned threads = 0);

    bool is_open() const { return active; }
    // Some byte could not be compressed or written since open or attach.
    bool failed() const { return stage.failed(); }
    // ...for lack of memory.
    bool outOfMemory() const { return stage.outOfMemory(); }

    // Compresses what is left, writes the last member, flushes the target,
    // ends the worker threads and closes the file. True when every byte
    // written since open reached the target and the file closed cleanly;
    // false also when nothing was open.
    bool close();

protected:
    int_type overflow(int_type c) override;
    // Writes every byte written so far to the target as whole members and
    // syncs the target.
    int sync() override;

private:
    bool start(int level, unsigned threads);
    bool writeBlock(const CompressionStage::Block& block) override;
    // Submits the put area's bytes (when there are any, or when always is
    // set) and makes the stage's next block the put area (none after the
    // last).
    bool submitPending(bool always, bool last = false);

    CompressionStage stage;
    std::filebuf file;
    std::streambuf* target = nullptr;
    bool active = false;
    int xfl = 0;  // the header's extra flags for the level
    bool anySubmitted = false;
};

}  // namespace quillon
