#include "structure_copy.h"

#include <cstring>

#include "core/encoders.h"
#include "core/records.h"
#include "element_replay.h"
#include "reader/gds_records.h"

namespace quillon::include {

namespace rd = quillon::reader;

bool isScaled(unsigned recordType) {
    return recordType == rd::XY || recordType == rd::WIDTH || recordType == rd::BGNEXTN ||
           recordType == rd::ENDEXTN;
}

StructureCopy::StructureCopy(const CopyOptions& options, CopyOutput& output,
                             rd::RecordReader& reader)
    : options(options), output(output), reader(reader) {
    if (options.replay != nullptr) return;
    reader.setSpill([this](std::uint64_t, const std::uint8_t* bytes, std::size_t n) {
        this->output.write(bytes, n);
    });
}

bool StructureCopy::take(const rd::Record& record) {
    const unsigned type = record.type;
    if (type == rd::BGNSTR) {
        copying = options.selected == nullptr || (structure < options.selected->size() &&
                                                  (*options.selected)[structure] != 0);
        ++structure;
    } else if (type == rd::ENDLIB) {
        // Nothing after ENDLIB (the zeros of a padded file) is copied.
        if (options.replay == nullptr) {
            reader.divert(record);
            reader.setSpill(nullptr);
        }
        ended = true;
        return true;
    }
    if (!copying) {
        if (options.replay == nullptr) reader.divert(record);
        return true;
    }
    if (type == rd::STRNAME) {
        if (options.expected != nullptr &&
            (structure > options.expected->size() ||
             (*options.expected)[structure - 1].name != rd::asciiValue(record)))
            return false;
    }
    if (options.replay != nullptr) {
        options.replay->take(record);
        if (type == rd::ENDSTR) copying = false;
        return true;
    }
    if (type == rd::STRNAME) {
        if (options.renamed != nullptr) rename(record);
    } else if (type == rd::SNAME && options.renamed != nullptr) {
        rename(record);
    } else if (options.ratio != 1 && isScaled(type)) {
        return scale(record);
    } else if (type == rd::ENDSTR) {
        copying = false;
    }
    return true;
}

void StructureCopy::rename(const rd::Record& record) {
    const auto found = options.renamed->find(rd::asciiValue(record));
    if (found == options.renamed->end()) return;
    const std::string& renamed = found->second;
    rebuilt.resize(4 + renamed.size() + 1);
    const Record kind = record.type == rd::STRNAME ? Record::STRNAME : Record::SNAME;
    const std::uint8_t* end = storeStringRecord(rebuilt.data(), kind, renamed.c_str(), renamed.size());
    reader.divert(record);
    output.write(rebuilt.data(), static_cast<std::size_t>(end - rebuilt.data()));
}

bool StructureCopy::scale(const rd::Record& record) {
    rebuilt.resize(record.length);
    std::memcpy(rebuilt.data(), record.bytes(), 4);
    std::uint8_t* p = rebuilt.data() + 4;
    for (std::size_t i = 0; i < record.dataLength / 4; ++i) {
        const std::int64_t value = std::int64_t{record.int4(i)} * options.ratio;
        if (value < INT32_MIN || value > INT32_MAX) return false;
        p = storeBigEndian32(p, static_cast<std::uint32_t>(value));
    }
    reader.divert(record);
    output.write(rebuilt.data(), record.length);
    return true;
}

bool StructureCopy::finish() {
    reader.flushConsumed();
    reader.setSpill(nullptr);
    return ended && (options.expected == nullptr || structure == options.expected->size());
}

}  // namespace quillon::include
