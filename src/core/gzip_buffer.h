// A stream buffer that compresses everything written to it into a gzip
// stream (RFC 1952, through zlib's deflate) and hands the compressed bytes
// to a target buffer: a file of its own (open) or any buffer (attach), the
// latter for the tests.
//
// Large writes (the byte sink's blocks of 2 MiB) are deflated straight from
// the caller's bytes; small ones collect in a put area first. Compressed
// output collects in an output block, which goes to the target whenever it
// is full. The first failure (the target refusing bytes, deflate failing)
// makes the buffer failed for good: every later write is refused, so that
// the ostream over it goes bad, and close() answers false.
#pragma once

#include <cstddef>
#include <fstream>
#include <memory>
#include <streambuf>

namespace quillon {

class GzipBuffer : public std::streambuf {
public:
    GzipBuffer();
    ~GzipBuffer() override;
    GzipBuffer(const GzipBuffer&) = delete;
    GzipBuffer& operator=(const GzipBuffer&) = delete;

    // Creates or truncates fileName for binary output and starts a gzip
    // stream at level (1 to 9). False when the file cannot be opened or the
    // compressor cannot be set up; the buffer is then closed.
    bool open(const char* fileName, int level);
    // Starts a gzip stream at level written to target, which must outlive
    // the stream (it is not closed by close()).
    bool attach(std::streambuf* target, int level);

    bool is_open() const { return active; }
    // No byte could be compressed or written since open or attach.
    bool failed() const { return broken; }

    // Compresses what is left, writes the gzip trailer, flushes the target
    // and closes the file. True when every byte written since open reached
    // the target and the file closed cleanly; false also when nothing was
    // open.
    bool close();

protected:
    std::streamsize xsputn(const char* data, std::streamsize n) override;
    int_type overflow(int_type c) override;
    // Makes every byte written so far decodable from the target (a deflate
    // sync flush) and syncs the target.
    int sync() override;

private:
    struct Compressor;

    bool start(int level);
    // Feeds n bytes to deflate with flush mode flush, writing each full
    // output block to the target.
    bool deflateBytes(const char* data, std::size_t n, int flush);
    // Deflates the put area's bytes and empties it.
    bool deflatePending(int flush);
    bool writeOutput(std::size_t n);
    void fail() { broken = true; }

    std::unique_ptr<Compressor> z;
    std::filebuf file;
    std::streambuf* target = nullptr;
    bool active = false;
    bool broken = false;
    std::unique_ptr<char[]> input;
    std::unique_ptr<unsigned char[]> output;
};

}  // namespace quillon
