// The file, its cells, names and properties, and the gathering of shapes
// for the repetition finder. The records of the shapes themselves are
// written by one emitter per kind (rectangle.cpp, polygon.cpp, path.cpp,
// placement.cpp, text.cpp).
#include "oasis/writer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace quillon::oasis {

namespace {

constexpr char magic[] = "%SEMI-OASIS\r\n";
constexpr std::uint8_t endRecord = 2;
constexpr std::uint8_t cellNameRecord = 3;
constexpr std::uint8_t textStringRecord = 5;
constexpr std::uint8_t propNameRecord = 7;
constexpr std::uint8_t propStringRecord = 9;
constexpr std::uint8_t cellRecord = 13;
constexpr std::uint8_t xyRelativeRecord = 16;
constexpr std::uint8_t propertyRecord = 28;
constexpr std::uint8_t repeatPropertyRecord = 29;
// END is 256 bytes long, its validation included.
constexpr std::size_t endLength = 256;
constexpr std::uint8_t crc32Scheme = 1;

// Property strings are numbered up to these bounds (the table then holds
// about 3 MiB); beyond them a string goes out in its record, so that memory
// stays bounded. Text strings are all numbered: KLayout 0.28 reads a TEXT
// whose string is in its record, after one by number in the same cell, as
// the string of that number.
constexpr std::size_t maxNumberedStrings = 1 << 14;
constexpr std::size_t maxNumberedBytes = 1 << 20;

// The standard property that carries a GDSII property: attribute and value.
constexpr char gdsPropertyName[] = "S_GDS_PROPERTY";
constexpr std::uint8_t unsignedValue = 8;
constexpr std::uint8_t aStringValue = 10;
constexpr std::uint8_t aStringReference = 13;
constexpr std::uint8_t bStringOffset = 1;  // b-string types follow the a-string ones

bool printable(const std::string& text) {
    for (unsigned char c : text)
        if (c < 0x20 || c > 0x7e) return false;
    return true;
}

}  // namespace

Writer::Writer(ByteSink& sink, int level) : output(sink, level), out(output.block()) {
    propertyStrings.bounded = true;
    slots.assign(2 * maxClasses, 0);
}

std::int64_t Writer::NameTable::number(const char* name, std::size_t length) {
    // A lookup by a temporary key: names are short, and this runs once
    // per text, property or placement that changes its name.
    std::string key(name, length);
    const auto found = numbers.find(key);
    if (found != numbers.end()) return static_cast<std::int64_t>(found->second);
    if (bounded && (numbers.size() >= maxNumberedStrings || bytes + length > maxNumberedBytes)) {
        complete = false;
        return -1;
    }
    const auto inserted = numbers.emplace(std::move(key), order.size()).first;
    order.push_back(&inserted->first);
    bytes += length;
    return static_cast<std::int64_t>(inserted->second);
}

void Writer::start(double metersPerUnit) {
    Bytes head(magic, magic + sizeof magic - 1);
    head.push_back(1);  // START
    putString(head, "1.0", 3);
    // The unit: grid steps per micron, a whole number where it is one.
    double unit = 1e-6 / metersPerUnit;
    const double whole = std::nearbyint(unit);
    if (whole > 0 && std::fabs(unit - whole) <= 1e-9 * unit) unit = whole;
    putReal(head, unit);
    putUnsigned(head, 1);  // the table offsets are in END
    output.writeRaw(head.data(), head.size());
}

void Writer::resetModals() {
    layer = {};
    datatype = {};
    textLayer = {};
    textType = {};
    width = {};
    height = {};
    halfWidth = {};
    radius = {};
    placedCell = {};
    textString = {};
    startExtension = {};
    endExtension = {};
    polygonPoints.known = false;
    pathPoints.known = false;
    repetitionBytes.known = false;
    lastAttribute = {};
    geometryX = geometryY = placementX = placementY = textX = textY = 0;
}

void Writer::beginCell(const char* name, std::size_t length) {
    out.push_back(cellRecord);
    putUnsigned(out, static_cast<std::uint64_t>(cellNames.number(name, length)));
    out.push_back(xyRelativeRecord);
    resetModals();
    output.recordDone();
}

void Writer::endCell() { flushShapes(); }

void Writer::writeTable(NameTable& table, std::uint8_t record, std::uint64_t& offset) {
    offset = 0;
    if (table.order.empty()) return;
    output.flush();
    offset = output.offset();
    for (const std::string* name : table.order) {
        out.push_back(record);
        putString(out, name->data(), name->size());
        output.recordDone();
    }
    output.flush();
}

void Writer::end() {
    flushShapes();
    std::uint64_t offsets[4] = {};
    writeTable(cellNames, cellNameRecord, offsets[0]);
    writeTable(textStrings, textStringRecord, offsets[1]);
    NameTable propertyNames;
    if (usesGdsProperty) propertyNames.number(gdsPropertyName, sizeof gdsPropertyName - 1);
    writeTable(propertyNames, propNameRecord, offsets[2]);
    writeTable(propertyStrings, propStringRecord, offsets[3]);
    output.flush();

    // END: the table offsets (a table is strict when every name went out
    // by number), padding to the record's fixed length, the CRC32.
    const bool strict[4] = {cellNames.complete, textStrings.complete, true,
                            propertyStrings.complete};
    Bytes tail{endRecord};
    for (int i = 0; i < 4; ++i) {
        putUnsigned(tail, strict[i] ? 1 : 0);
        putUnsigned(tail, offsets[i]);
    }
    for (int i = 0; i < 2; ++i) putUnsigned(tail, 0);  // no LAYERNAME, no XNAME
    // The padding b-string: a two-byte length, then that many zeros.
    const std::size_t padding = endLength - tail.size() - 1 - 4 - 2;
    putUnsigned(tail, padding);
    tail.resize(tail.size() + padding, 0);
    tail.push_back(crc32Scheme);
    output.writeRaw(tail.data(), tail.size());
    const std::uint32_t crc = output.crc();
    const std::uint8_t signature[4] = {
        static_cast<std::uint8_t>(crc), static_cast<std::uint8_t>(crc >> 8),
        static_cast<std::uint8_t>(crc >> 16), static_cast<std::uint8_t>(crc >> 24)};
    output.writeRaw(signature, sizeof signature);
}

bool Writer::Shape::operator==(const Shape& other) const {
    if (kind != other.kind) return false;
    switch (kind) {
    case rectangle:
        return layer == other.layer && datatype == other.datatype && width == other.width &&
               height == other.height;
    case circle:
        return layer == other.layer && datatype == other.datatype && width == other.width;
    case polygon:
        return layer == other.layer && datatype == other.datatype && points == other.points;
    case path:
        return layer == other.layer && datatype == other.datatype && width == other.width &&
               startExtension == other.startExtension && endExtension == other.endExtension &&
               points == other.points;
    case placement:
        return cell == other.cell && magnification == other.magnification &&
               angle == other.angle && mirror == other.mirror;
    }
    return false;
}

std::uint64_t Writer::Shape::hash() const {
    // FNV-1a over the fields that tell classes apart.
    std::uint64_t h = 0xcbf29ce484222325ull;
    const auto mix = [&h](std::uint64_t v) {
        h = (h ^ v) * 0x100000001b3ull;
    };
    mix(kind);
    mix(layer);
    mix(datatype);
    mix(width);
    mix(height);
    mix(static_cast<std::uint64_t>(startExtension));
    mix(static_cast<std::uint64_t>(endExtension));
    mix(cell);
    mix(mirror);
    std::uint64_t bits = 0;
    std::memcpy(&bits, &magnification, sizeof bits);
    mix(bits);
    std::memcpy(&bits, &angle, sizeof bits);
    mix(bits);
    for (std::uint8_t b : points) mix(b);
    return h;
}

void Writer::addShape(std::int64_t x, std::int64_t y, const PropertyList& properties) {
    const Delta at{x, y};
    if (!properties.empty() || candidate.points.size() > maxGatheredBytes) {
        emit(candidate, at, Repetition{});
        emitProperties(properties);
        output.recordDone();
        return;
    }
    const std::uint64_t hash = candidate.hash();
    std::size_t index = classesUsed;
    if (lastClass < classesUsed && classes[lastClass].hash == hash &&
        classes[lastClass].shape == candidate) {
        index = lastClass;
    } else {
        const std::size_t mask = slots.size() - 1;
        std::size_t slot = static_cast<std::size_t>(hash) & mask;
        for (; slots[slot] != 0; slot = (slot + 1) & mask) {
            Class& c = classes[slots[slot] - 1];
            if (c.hash == hash && c.shape == candidate) {
                index = slots[slot] - 1;
                break;
            }
        }
        if (index == classesUsed) {
            if (classesUsed == maxClasses) {
                flushShapes();
                return addShape(x, y, properties);
            }
            if (classes.size() == classesUsed) classes.emplace_back();
            Class& c = classes[classesUsed];
            std::swap(c.shape, candidate);
            c.hash = hash;
            c.positions.clear();
            c.sequence.clear();
            slots[slot] = static_cast<std::uint32_t>(++classesUsed);
        }
    }
    lastClass = index;
    Class& c = classes[index];
    c.positions.push_back(at);
    c.sequence.push_back(sequence++);
    if (++gatheredCount < windowSize) return;
    if (classesUsed > 1) {
        flushShapes();
        return;
    }
    // One class: half the window is kept, so that a grid's rows still meet
    // rows of the same length.
    flushClass(0, false);
    writeSingles();
    gatheredCount = c.positions.size();
}

void Writer::flushShapes() {
    for (std::size_t i = 0; i < classesUsed; ++i) flushClass(static_cast<std::uint32_t>(i), true);
    writeSingles();
    classesUsed = 0;
    gatheredCount = 0;
    std::fill(slots.begin(), slots.end(), 0);
}

void Writer::writeSingles() {
    std::sort(singles.begin(), singles.end(),
              [](const Single& a, const Single& b) { return a.sequence < b.sequence; });
    for (const Single& single : singles) {
        emit(classes[single.index].shape, single.at, Repetition{});
        output.recordDone();
    }
    singles.clear();
}

void Writer::flushClass(std::uint32_t index, bool final) {
    Class& gathered = classes[index];
    std::vector<Delta>& positions = gathered.positions;
    std::size_t done = 0;
    while (done < positions.size() && (final || positions.size() - done > windowSize / 2)) {
        // The finder looks at the positions not yet written.
        if (done > 0) {
            positions.erase(positions.begin(), positions.begin() + static_cast<long>(done));
            gathered.sequence.erase(gathered.sequence.begin(),
                                    gathered.sequence.begin() + static_cast<long>(done));
            done = 0;
        }
        Delta origin{};
        Repetition repetition;
        done = finder.find(positions, origin, repetition);
        if (repetition.kind == Repetition::none ||
            (repetition.kind == Repetition::arbitrary && done < minimumArbitrary)) {
            for (std::size_t i = 0; i < done; ++i)
                singles.push_back({gathered.sequence[i], index, positions[i]});
            continue;
        }
        emit(gathered.shape, origin, repetition);
        output.recordDone();
    }
    positions.erase(positions.begin(), positions.begin() + static_cast<long>(done));
    gathered.sequence.erase(gathered.sequence.begin(),
                            gathered.sequence.begin() + static_cast<long>(done));
}

void Writer::emit(const Shape& shape, Delta at, const Repetition& repetition) {
    switch (shape.kind) {
    case Shape::rectangle:
        return emitRectangle(shape, at, repetition);
    case Shape::polygon:
        return emitPolygon(shape, at, repetition);
    case Shape::path:
        return emitPath(shape, at, repetition);
    case Shape::circle:
        return emitCircle(shape, at, repetition);
    case Shape::placement:
        return emitPlacement(shape, at, repetition);
    }
}

void Writer::putPosition(std::int64_t value, std::int64_t& modal) {
    putSigned(out, value - modal);
    modal = value;
}

std::uint8_t Writer::geometryInfo(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = 0;
    if (layer.change(s.layer)) info |= 0x01;
    if (datatype.change(s.datatype)) info |= 0x02;
    if (at.x != geometryX) info |= 0x10;
    if (at.y != geometryY) info |= 0x08;
    if (repetition.kind != Repetition::none) info |= 0x04;
    return info;
}

void Writer::putGeometryHead(std::uint8_t record, std::uint8_t info, const Shape& s) {
    out.push_back(record);
    out.push_back(info);
    if (info & 0x01) putUnsigned(out, s.layer);
    if (info & 0x02) putUnsigned(out, s.datatype);
}

void Writer::putGeometryTail(std::uint8_t info, Delta at, const Repetition& repetition) {
    if (info & 0x10) putPosition(at.x, geometryX);
    if (info & 0x08) putPosition(at.y, geometryY);
    if (info & 0x04) emitRepetition(repetition);
}

void Writer::startCandidate(std::uint8_t kind, std::uint32_t layerNumber,
                            std::uint32_t datatypeNumber) {
    candidate.kind = static_cast<Shape::Kind>(kind);
    candidate.layer = layerNumber;
    candidate.datatype = datatypeNumber;
}

void Writer::emitRepetition(const Repetition& repetition) {
    scratch.clear();
    putRepetition(scratch, repetition);
    if (repetitionBytes.known && repetitionBytes.value == scratch) {
        putUnsigned(out, 0);  // the repetition of the record before
        return;
    }
    out.insert(out.end(), scratch.begin(), scratch.end());
    repetitionBytes.value.swap(scratch);
    repetitionBytes.known = true;
}

void Writer::emitProperties(const PropertyList& properties) {
    if (properties.empty()) return;
    usesGdsProperty = true;
    for (const ElementProperty& property : properties) {
        if (lastAttribute.known && lastAttribute.value == property.attribute &&
            lastValue == property.value) {
            out.push_back(repeatPropertyRecord);
            continue;
        }
        lastAttribute.change(property.attribute);
        lastValue = property.value;
        // Two values, the name by reference number, a standard property.
        out.push_back(propertyRecord);
        out.push_back(0x27);
        putUnsigned(out, 0);  // S_GDS_PROPERTY, the only property name
        out.push_back(unsignedValue);
        putUnsigned(out, static_cast<std::uint64_t>(property.attribute));
        const std::uint8_t binary = printable(property.value) ? 0 : bStringOffset;
        const std::int64_t number =
            propertyStrings.number(property.value.data(), property.value.size());
        if (number >= 0) {
            out.push_back(static_cast<std::uint8_t>(aStringReference + binary));
            putUnsigned(out, static_cast<std::uint64_t>(number));
        } else {
            out.push_back(static_cast<std::uint8_t>(aStringValue + binary));
            putString(out, property.value.data(), property.value.size());
        }
    }
}

}  // namespace quillon::oasis
