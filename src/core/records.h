// Small record writers shared by the framing and element writers. Each emits
// one whole record through the sink, field by field: total length (data plus
// the 4 header bytes), the header bytes from recordHeaders, then the data.
#pragma once

#include <cstddef>
#include <cstdint>

#include "byte_sink.h"
#include "encoders.h"
#include "record_headers.h"

namespace quillon {

// The length and header of a record that carries dataLength bytes of data.
inline ByteSink& beginRecord(ByteSink& out, Record record, std::size_t dataLength) {
    const Bytes2 length = toBigEndian16(static_cast<std::int32_t>(dataLength + 4));
    return out.write2(length.data()).write2(headerOf(record));
}

inline ByteSink& writeInt2(ByteSink& out, std::int32_t value) {
    const Bytes2 bytes = toBigEndian16(value);
    return out.write2(bytes.data());
}

inline ByteSink& writeInt4(ByteSink& out, std::int32_t value) {
    const Bytes4 bytes = toBigEndian32(value);
    return out.write4(bytes.data());
}

inline ByteSink& writeReal8(ByteSink& out, double value) {
    const Bytes8 bytes = toReal8(value);
    return out.write8(bytes.data());
}

// A record with no data (BOUNDARY, ENDEL, ENDSTR, ...).
inline void writeEmptyRecord(ByteSink& out, Record record) { beginRecord(out, record, 0); }

// A record of one INT2 or BITARRAY value: the low 16 bits of value.
inline void writeInt2Record(ByteSink& out, Record record, std::int32_t value) {
    writeInt2(beginRecord(out, record, 2), value);
}

inline void writeInt4Record(ByteSink& out, Record record, std::int32_t value) {
    writeInt4(beginRecord(out, record, 4), value);
}

inline void writeReal8Record(ByteSink& out, Record record, double value) {
    writeReal8(beginRecord(out, record, 8), value);
}

// An ASCII record holding text, padded with one NUL to an even length. The
// caller makes sure that paddedLength(text) <= maxRecordData.
inline void writeStringRecord(ByteSink& out, Record record, const char* text) {
    beginRecord(out, record, paddedLength(text)).writeString(text);
}

// An XY record of the points (xs[i], ys[i]) for i from first to first +
// count - 1, each x then y as INT4; closed repeats point first at the end.
inline void writeXYRecord(ByteSink& out, const std::int32_t* xs, const std::int32_t* ys,
                          std::size_t first, std::size_t count, bool closed) {
    const std::size_t points = count + (closed ? 1 : 0);
    beginRecord(out, Record::XY, 8 * points);
    for (std::size_t i = first; i < first + count; ++i) writeInt4(writeInt4(out, xs[i]), ys[i]);
    if (closed) writeInt4(writeInt4(out, xs[first]), ys[first]);
}

// The prologue of every element: its opening record, ELFLAGS and PLEX.
inline void beginElement(ByteSink& out, Record element, std::int32_t elFlags,
                         std::int32_t plex) {
    writeEmptyRecord(out, element);
    writeInt2Record(out, Record::ELFLAGS, elFlags);
    writeInt4Record(out, Record::PLEX, plex);
}

inline void endElement(ByteSink& out) { writeEmptyRecord(out, Record::ENDEL); }

}  // namespace quillon
