// libFuzzer target for the record reader of quillon-dump: whatever the
// bytes, reading, listing and summarising them must stay inside the buffer,
// end, and keep the reader's own invariants.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>

#include "gds_dump.h"
#include "record_reader.h"
#include "gds_records.h"
#include "gds_summary.h"

namespace {

void require(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::ostringstream listing;
    gdsdump::Dumper dumper(listing);
    gdsdump::Summary summary;
    std::size_t next = 0;
    unsigned lastType = 0;
    std::size_t records = 0;
    const auto error = gdsdump::readRecords(data, size, [&](const gdsdump::Record& record) {
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
    if (error) {
        require(error->offset <= size);
        require(!error->message.empty());
        require(gdsdump::describe(*error).find('\n') == std::string::npos);
    } else {
        // A well-formed file ends with ENDLIB, then only zero padding.
        require(records >= 2 && lastType == gdsdump::ENDLIB);
        for (std::size_t i = next; i < size; ++i) require(data[i] == 0);
    }
    return 0;
}
