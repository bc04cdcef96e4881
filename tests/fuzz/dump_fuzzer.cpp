// libFuzzer target for the library's record reader and quillon-dump:
// whatever the bytes, reading, listing and summarising them must stay
// inside the buffer, end, and keep the reader's own invariants; streamed
// through the reader's own buffer (in small pieces) they must give the same
// records and the same fault as read in place; the record-order check of
// the include must agree with the framing; and the gzip inflater must end
// on any input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <algorithm>
#include <sstream>
#include <vector>

#include "gds_dump.h"
#include "record_reader.h"
#include "gds_records.h"
#include "gds_summary.h"
#include "library_check.h"
#include "byte_source.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

// Hands out its bytes a few at a time, so that records straddle refills.
class TrickleSource : public quillon::reader::ByteSource {
public:
    TrickleSource(const std::uint8_t* data, std::size_t size) : memory(data, size) {}
    std::size_t read(std::uint8_t* buffer, std::size_t n) override {
        step = step % 7 + 1;
        return memory.read(buffer, n < step ? n : step);
    }

private:
    quillon::reader::MemorySource memory;
    std::size_t step = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostringstream listing;
    quillon::reader::Dumper dumper(listing);
    quillon::reader::Summary summary;
    std::size_t next = 0;
    unsigned lastType = 0;
    std::size_t records = 0;
    const auto error = quillon::reader::readRecords(data, size, [&](const quillon::reader::Record& record) {
        // Records follow each other without gaps and lie inside the input.
        require(record.offset == next);
        require(record.length >= 4 && record.length % 2 == 0);
        require(record.offset + record.length <= size);
        require(record.data == data + record.offset + 4);
        require(record.dataLength == record.length - 4);
        next = record.offset + record.length;
        lastType = record.type;
        ++records;
        dumper.record(record);
        summary.record(record);
    });
    summary.write(listing);

    // The same bytes streamed: the same records, the same outcome. The
    // order check fails no earlier than the framing allows.
    TrickleSource trickle(data, size);
    quillon::reader::RecordReader streamed(trickle);
    quillon::reader::LibraryChecker checker;
    quillon::reader::Record record;
    std::size_t seen = 0, completeAt = 0;
    bool ordered = true;
    while (streamed.next(record)) {
        require(record.offset + record.length <= size);
        require(std::equal(record.bytes(), record.bytes() + record.length, data + record.offset));
        if (ordered && checker.check(record)) ordered = false;
        if (ordered && completeAt == 0 && checker.complete()) completeAt = record.offset + record.length;
        ++seen;
    }
    require(seen == records);
    require(streamed.error().has_value() == error.has_value());
    if (error) require(streamed.error()->offset == error->offset);
    // A library that the order check found whole has no fault before its
    // ENDLIB (bytes after it may still be garbage).
    if (ordered && checker.complete()) require(!error || error->offset >= completeAt);

    // The inflater on the raw bytes ends, whatever they are.
    std::vector<std::uint8_t> inflated;
    quillon::reader::gunzip(data, size, inflated);
    if (error) {
        require(error->offset <= size);
        require(!error->message.empty());
        require(quillon::reader::describe(*error).find('\n') == std::string::npos);
    } else {
        // A well-formed file ends with ENDLIB, then only zero padding.
        require(records >= 2 && lastType == quillon::reader::ENDLIB);
        for (std::size_t i = next; i < size; ++i) require(data[i] == 0);
    }
    return 0;
}
