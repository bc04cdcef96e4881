// Where an include writes: the output file's descriptor, which can be cut
// back to where it stood, or the writer's byte sink, which cannot.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "core/byte_sink.h"
#include "structure_copy.h"

namespace quillon::include {

// The output file's descriptor, written directly past the bytes the
// stream has flushed to it. It remembers where the file ended, and unless
// commit() is reached cuts the file back there and puts the descriptor's
// position back, whatever way the include ends (a report that throws
// included). Small writes (rebuilt records) are gathered in a buffer of
// its own; runs of the reader's buffer go to the file as they are.
class FileOutput : public CopyOutput {
public:
    // False (and no use) when the descriptor's position cannot be read.
    bool start(int descriptor);
    ~FileOutput() override { cutBack(); }

    void write(const std::uint8_t* bytes, std::size_t n) override;
    // Keeps what was written; false, with the file cut back, when a write
    // failed.
    bool commit();

private:
    void flush();
    void send(const std::uint8_t* bytes, std::size_t n);
    void cutBack();

    static constexpr std::size_t gatherSize = 256 * 1024;
    int fd = -1;
    std::int64_t before = 0;
    bool failed = false;
    bool kept = false;
    std::unique_ptr<std::uint8_t[]> gathered;
    std::size_t gatheredBytes = 0;
};

// The writer's byte sink (a gzip output, or a system without descriptors):
// what is written stays written.
class SinkOutput : public CopyOutput {
public:
    explicit SinkOutput(ByteSink& out) : out(out) {}
    void write(const std::uint8_t* bytes, std::size_t n) override { out.writeBlock(bytes, n); }

private:
    ByteSink& out;
};

}  // namespace quillon::include
