// Small record writers shared by the framing and element writers. Each emits
// one whole record through the sink, field by field: total length (data plus
// the 4 header bytes), the header bytes from recordHeaders, then the data.
//
// The whole-record writers take room for the complete record from the sink
// once, store every field through a local pointer (so that no byte store
// forces the sink's cursor to be reloaded from memory) and commit it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "byte_sink.h"
#include "encoders.h"
#include "record_headers.h"

namespace quillon {

#if QUILLON_CHECK_RESERVATIONS
// Aborts with a message naming the record (checked builds only).
[[noreturn]] void recordTooLong(Record record, std::size_t dataLength);
#endif

// Stores the length and header of a record that carries dataLength bytes of
// data at p, as one 4-byte big-endian word; returns the address past it.
inline std::uint8_t* storeRecordStart(std::uint8_t* p, Record record, std::size_t dataLength) {
#if QUILLON_CHECK_RESERVATIONS
    // A length the 16-bit field cannot hold would silently wrap.
    if (dataLength > maxRecordData + 1) recordTooLong(record, dataLength);
#endif
    const std::uint8_t* header = headerOf(record);
    const auto length = static_cast<std::uint32_t>(dataLength + 4) & 0xFFFFu;
    return storeBigEndian32(p, (length << 16) | (std::uint32_t{header[0]} << 8) | header[1]);
}

// The points (xs[i], ys[i]) for i below count, each x then y as INT4, stored
// at p; returns the address past them.
inline std::uint8_t* storePoints(std::uint8_t* p, const std::int32_t* xs, const std::int32_t* ys,
                                 std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint64_t point =
            (std::uint64_t{static_cast<std::uint32_t>(xs[i])} << 32) |
            static_cast<std::uint32_t>(ys[i]);
        p = storeBigEndian64(p, point);
    }
    return p;
}

// Copies the n bytes at text to p and returns the address past them. Short
// strings, the usual names and labels, are copied by two overlapping loads
// and stores instead of a library call.
inline std::uint8_t* storeBytes(std::uint8_t* p, const char* text, std::size_t n) {
    if (n >= 8 && n <= 16) {
        std::uint64_t head, tail;
        std::memcpy(&head, text, 8);
        std::memcpy(&tail, text + n - 8, 8);
        std::memcpy(p, &head, 8);
        std::memcpy(p + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, text, 4);
        std::memcpy(&tail, text + n - 4, 4);
        std::memcpy(p, &head, 4);
        std::memcpy(p + n - 4, &tail, 4);
    } else if (n < 4) {
        for (std::size_t i = 0; i < n; ++i) p[i] = static_cast<std::uint8_t>(text[i]);
    } else {
        std::memcpy(p, text, n);
    }
    return p + n;
}

// Whole fixed-size records stored at p, for a writer that reserves room for
// several records at once; each returns the address past its record.
inline std::uint8_t* storeEmptyRecord(std::uint8_t* p, Record record) {
    return storeRecordStart(p, record, 0);
}

inline std::uint8_t* storeInt2Record(std::uint8_t* p, Record record, std::int32_t value) {
    return storeBigEndian16(storeRecordStart(p, record, 2), static_cast<std::uint32_t>(value));
}

inline std::uint8_t* storeInt4Record(std::uint8_t* p, Record record, std::int32_t value) {
    return storeBigEndian32(storeRecordStart(p, record, 4), static_cast<std::uint32_t>(value));
}

inline std::uint8_t* storeReal8Record(std::uint8_t* p, Record record, double value) {
    return storeBigEndian64(storeRecordStart(p, record, 8), real8Bits(value));
}

// An ASCII record of the length bytes at text, padded with one NUL to an
// even length; the caller has made room for 4 + length + (length & 1).
inline std::uint8_t* storeStringRecord(std::uint8_t* p, Record record, const char* text,
                                       std::size_t length) {
    p = storeBytes(storeRecordStart(p, record, length + (length & 1)), text, length);
    if (length & 1) *p++ = 0;
    return p;
}

// The prologue of every element, its opening record, ELFLAGS and PLEX. In
// compact mode an ELFLAGS or PLEX of 0, GDSII's default, is left out.
inline std::uint8_t* storeElementStart(std::uint8_t* p, Record element, std::int32_t elFlags,
                                       std::int32_t plex, bool compact) {
    p = storeEmptyRecord(p, element);
    if (!compact || elFlags != 0) p = storeInt2Record(p, Record::ELFLAGS, elFlags);
    if (!compact || plex != 0) p = storeInt4Record(p, Record::PLEX, plex);
    return p;
}

// STRANS, MAG and ANGLE of a reference or text. In compact mode all three
// are left out for the identity (no flag, magnification 1, angle 0), and
// beside a STRANS a MAG of 1 or an ANGLE of 0, GDSII's defaults.
inline std::uint8_t* storeTransformation(std::uint8_t* p, std::int32_t strans, double mag,
                                         double angle, bool compact) {
    if (compact && strans == 0 && mag == 1.0 && angle == 0.0) return p;
    p = storeInt2Record(p, Record::STRANS, strans);
    if (!compact || mag != 1.0) p = storeReal8Record(p, Record::MAG, mag);
    if (!compact || angle != 0.0) p = storeReal8Record(p, Record::ANGLE, angle);
    return p;
}

// The room records take, for writers that reserve several at once. The
// size of a record of one value follows from its data type in the header
// table, so that a writer's reservation lists the same records as its
// stores and nothing else: fixedRecordsSize<Record::TEXT, Record::ELFLAGS>.
inline constexpr std::size_t fixedRecordSize(Record record) {
    switch (headerOf(record)[1]) {
        case dataType::noData: return 4;
        case dataType::bitArray:
        case dataType::int2: return 4 + 2;
        case dataType::int4: return 4 + 4;
        case dataType::real8: return 4 + 8;
        default: return 0;  // no fixed size: strings
    }
}

template <Record... records>
inline constexpr std::size_t fixedRecordsSize = (fixedRecordSize(records) + ... + 0);

// An ASCII record of length bytes, padded to even; an XY record of points.
inline constexpr std::size_t stringRecordSize(std::size_t length) {
    return 4 + length + (length & 1);
}
inline constexpr std::size_t xyRecordSize(std::size_t points) { return 4 + 8 * points; }
// A record of two INT2 values (COLROW).
inline constexpr std::size_t int2PairRecordSize = 4 + 2 * 2;

inline constexpr std::size_t emptyRecordSize = 4;
inline constexpr std::size_t int2RecordSize = 6;
inline constexpr std::size_t int4RecordSize = 8;
inline constexpr std::size_t real8RecordSize = 12;
static_assert(fixedRecordSize(Record::ENDEL) == emptyRecordSize &&
              fixedRecordSize(Record::LAYER) == int2RecordSize &&
              fixedRecordSize(Record::STRANS) == int2RecordSize &&
              fixedRecordSize(Record::PLEX) == int4RecordSize &&
              fixedRecordSize(Record::MAG) == real8RecordSize,
              "record sizes follow from their data types");
inline constexpr std::size_t elementStartSize = emptyRecordSize + int2RecordSize + int4RecordSize;

// The length and header of a record that carries dataLength bytes of data.
inline ByteSink& beginRecord(ByteSink& out, Record record, std::size_t dataLength) {
    out.commit(storeRecordStart(out.reserve(4), record, dataLength));
    return out;
}

inline ByteSink& writeInt2(ByteSink& out, std::int32_t value) {
    out.commit(storeBigEndian16(out.reserve(2), static_cast<std::uint32_t>(value)));
    return out;
}

inline ByteSink& writeInt4(ByteSink& out, std::int32_t value) {
    out.commit(storeBigEndian32(out.reserve(4), static_cast<std::uint32_t>(value)));
    return out;
}

inline ByteSink& writeReal8(ByteSink& out, double value) {
    out.commit(storeBigEndian64(out.reserve(8), real8Bits(value)));
    return out;
}

// A record with no data (BOUNDARY, ENDEL, ENDSTR, ...).
inline void writeEmptyRecord(ByteSink& out, Record record) {
    out.commit(storeEmptyRecord(out.reserve(emptyRecordSize), record));
}

// A record of one INT2 or BITARRAY value: the low 16 bits of value.
inline void writeInt2Record(ByteSink& out, Record record, std::int32_t value) {
    out.commit(storeInt2Record(out.reserve(int2RecordSize), record, value));
}

inline void writeInt4Record(ByteSink& out, Record record, std::int32_t value) {
    out.commit(storeInt4Record(out.reserve(int4RecordSize), record, value));
}

inline void writeReal8Record(ByteSink& out, Record record, double value) {
    out.commit(storeReal8Record(out.reserve(real8RecordSize), record, value));
}

// An ASCII record holding the length bytes of text, padded with one NUL to
// an even length, for a caller that has measured text already. The caller
// makes sure that length + (length & 1) <= maxRecordData.
inline void writeStringRecord(ByteSink& out, Record record, const char* text,
                              std::size_t length) {
    const std::size_t padded = length + (length & 1);
    if (4 + padded > ByteSink::capacity) {
        // Longer than any record can be: written through the chain.
        beginRecord(out, record, padded).writeString(text);
        return;
    }
    out.commit(storeStringRecord(out.reserve(4 + padded), record, text, length));
}

// The same for a text not measured yet.
inline void writeStringRecord(ByteSink& out, Record record, const char* text) {
    // A short name is copied while its terminator is looked for; a longer
    // string is measured first and copied whole.
    constexpr std::size_t shortString = 8;
    std::uint8_t* start = out.reserve(4 + shortString);
    std::uint8_t* p = start + 4;
    std::size_t length = 0;
    while (length < shortString && text[length] != 0) {
        p[length] = static_cast<std::uint8_t>(text[length]);
        ++length;
    }
    if (text[length] != 0) {
        writeStringRecord(out, record, text, length + std::strlen(text + length));
        return;
    }
    p += length;
    if (length & 1) *p++ = 0;
    storeRecordStart(start, record, length + (length & 1));
    out.commit(p);
}

// An XY record of the points (xs[i], ys[i]) for i from first to first +
// count - 1, each x then y as INT4; closed repeats point first at the end.
// The caller keeps the record within its 16-bit length (8191 points).
inline void writeXYRecord(ByteSink& out, const std::int32_t* xs, const std::int32_t* ys,
                          std::size_t first, std::size_t count, bool closed) {
    const std::size_t points = count + (closed ? 1 : 0);
    if (4 + 8 * points > ByteSink::capacity) {
        // Longer than any record can be: written point by point.
        beginRecord(out, Record::XY, 8 * points);
        for (std::size_t i = first; i < first + count; ++i)
            writeInt4(writeInt4(out, xs[i]), ys[i]);
        if (closed) writeInt4(writeInt4(out, xs[first]), ys[first]);
        return;
    }
    std::uint8_t* p = storeRecordStart(out.reserve(4 + 8 * points), Record::XY, 8 * points);
    p = storePoints(p, xs + first, ys + first, count);
    if (closed) p = storePoints(p, xs + first, ys + first, 1);
    out.commit(p);
}

// The prologue of every element: its opening record, ELFLAGS and PLEX (as
// storeElementStart leaves them in compact mode).
inline void beginElement(ByteSink& out, Record element, std::int32_t elFlags,
                         std::int32_t plex, bool compact) {
    // One branch, each side with the mode as a constant, so that the full
    // records keep the fixed offsets of the flat API's hot path.
    std::uint8_t* p = out.reserve(elementStartSize);
    out.commit(compact ? storeElementStart(p, element, elFlags, plex, true)
                       : storeElementStart(p, element, elFlags, plex, false));
}

inline void endElement(ByteSink& out) { writeEmptyRecord(out, Record::ENDEL); }

}  // namespace quillon
