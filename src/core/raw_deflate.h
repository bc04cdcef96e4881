// Raw deflate streams (RFC 1951) of whole blocks, and their CRC-32: what
// every compressed output is made of (the members of a gzip file, the
// CBLOCKs of OASIS).
//
// Levels 1 to 9, as zlib counts them, map onto the fastest library that
// keeps each level's promise, as measured on GDSII bytes (BENCHMARKS.md):
//   1 and 2   ISA-L's igzip at its levels 1 and 2 (4 to 16 times zlib's
//             level 1, files 5 to 8 % larger);
//   3 to 9    libdeflate at the level of the same number (files as small
//             as zlib's level of the same number or smaller, about 3 to 6
//             times faster).
// The Windows DLLs are built with zlib alone: there every level is zlib's.
// Each stream is complete (its last deflate block final) and depends only
// on the input bytes and the level (and the library's build for the
// processor), never on the thread that compresses it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace quillon {

// Appends the finished raw-deflate stream of the size bytes at in to out,
// compressed at level (1 to 9). False when the level is outside 1 to 9 or
// memory runs out (out then holds what it held before, possibly with more
// capacity). Sets up a compressor for the call: a caller compressing many
// blocks keeps a RawDeflater instead.
bool deflateRawBlock(int level, const std::uint8_t* in, std::size_t size,
                     std::vector<std::uint8_t>& out);

// A compressor for one level, kept for many blocks (its tables are set up
// once). One thread at a time.
class RawDeflater {
public:
    RawDeflater();
    ~RawDeflater();
    RawDeflater(const RawDeflater&) = delete;
    RawDeflater& operator=(const RawDeflater&) = delete;

    // Sets the level (1 to 9) for the blocks from now on; false, with the
    // deflater unusable until a level is set, when the level is outside 1
    // to 9 or its tables cannot be allocated.
    bool setLevel(int level);
    // As deflateRawBlock, at the level set; never throws.
    bool compress(const std::uint8_t* in, std::size_t size, std::vector<std::uint8_t>& out);

private:
    struct State;
    std::unique_ptr<State> state;
};

// The CRC-32 of gzip (RFC 1952) of size bytes at data, continuing crc (0 to
// start).
std::uint32_t crc32Of(std::uint32_t crc, const std::uint8_t* data, std::size_t size);

}  // namespace quillon
