// Where the record reader gets its bytes: a file read in large blocks, or
// bytes in memory, either one plain or a gzip stream inflated on the fly
// (recognised by the gzip magic bytes, whatever the file is called). A
// source holds a fixed amount of memory whatever the size of the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace quillon::reader {

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Stores up to n bytes at buffer and answers how many: 0 at the end of
    // the data, and 0 (or what came before it) when the source fails, which
    // fault() then describes.
    virtual std::size_t read(std::uint8_t* buffer, std::size_t n) = 0;
    // "" while the source is sound, else a one-line description of what is
    // wrong ("corrupt gzip stream: truncated", "read error").
    const std::string& fault() const { return failure; }

protected:
    std::string failure;
};

// Bytes in memory, which must outlive the source.
class MemorySource : public ByteSource {
public:
    MemorySource(const std::uint8_t* bytes, std::size_t size) : next(bytes), left(size) {}
    std::size_t read(std::uint8_t* buffer, std::size_t n) override;

private:
    const std::uint8_t* next;
    std::size_t left;
};

// Which file a name or an open file is, whatever the path that led to it
// (a symbolic or hard link, another spelling): the device and the inode,
// or on Windows the volume and the file index. known is false when the
// system would not say (no such file, for one).
struct FileIdentity {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    bool known = false;
    bool sameAs(const FileIdentity& other) const {
        return known && other.known && device == other.device && inode == other.inode;
    }
};

// The identity of the file at path, following links.
FileIdentity identityOf(const char* path);

// A file, plain or gzip. open() answers false when it cannot be opened. The
// file is opened once and stays open for the source's life: a second pass
// over it rewinds the same open file, so that it is the same file however
// its name changes meanwhile.
class FileSource : public ByteSource {
public:
    FileSource();
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool open(const char* path);
    // A regular file, which rewind() can take back to its start; a pipe, a
    // FIFO or a terminal cannot be read twice.
    bool seekable() const { return canSeek; }
    // Back to the file's first byte, with a fresh gzip stream when it is
    // one: read() gives the same bytes again. False when the file is not
    // seekable or the seek failed.
    bool rewind();
    // The identity of the open file (see FileIdentity).
    FileIdentity identity() const { return opened; }
    // The file starts with the gzip magic: read() gives the inflated bytes.
    bool compressed() const { return inflater != nullptr; }
    std::size_t read(std::uint8_t* buffer, std::size_t n) override;

private:
    class RawFile;
    // Looks for the gzip magic at the file's start and sets up the reading.
    bool start();
    std::unique_ptr<RawFile> raw;
    bool canSeek = false;
    FileIdentity opened;
    std::unique_ptr<ByteSource> inflater;
};

// The inflated bytes of the gzip stream that raw yields: one member or
// several in a row, as gzip concatenates them. Anything after the last
// member but another member is a fault, as are a truncated stream and a
// wrong check value.
class GzipSource : public ByteSource {
public:
    explicit GzipSource(ByteSource& raw);
    ~GzipSource() override;
    GzipSource(const GzipSource&) = delete;
    GzipSource& operator=(const GzipSource&) = delete;
    std::size_t read(std::uint8_t* buffer, std::size_t n) override;

private:
    struct State;
    ByteSource& raw;
    std::unique_ptr<State> state;
};

// The bytes start with the gzip magic 1F 8B.
bool isGzip(const std::uint8_t* bytes, std::size_t size);

// Inflates the gzip stream bytes[0, size) into out. Returns "" on success,
// else the fault (see GzipSource); out then holds what was inflated before
// it.
std::string gunzip(const std::uint8_t* bytes, std::size_t size, std::vector<std::uint8_t>& out);

}  // namespace quillon::reader
