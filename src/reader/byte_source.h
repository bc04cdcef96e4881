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

// A file, plain or gzip. open() answers false when it cannot be opened.
class FileSource : public ByteSource {
public:
    FileSource() = default;
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    bool open(const char* path);
    // The file starts with the gzip magic: read() gives the inflated bytes.
    // Otherwise descriptor() is the file's descriptor where the system has
    // one (-1 else), positioned wherever read() has got to.
    bool compressed() const { return inflater != nullptr; }
    int descriptor() const;
    std::size_t read(std::uint8_t* buffer, std::size_t n) override;

private:
    class RawFile;
    std::unique_ptr<ByteSource> raw;
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
