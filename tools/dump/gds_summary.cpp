#include "gds_summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "gds_records.h"
#include "gds_values.h"

namespace quillon::reader {

namespace {

std::string asciiText(const Record& record) {
    std::string text(reinterpret_cast<const char*>(record.data), record.dataLength);
    if (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

}  // namespace

void Summary::addPoint(std::int32_t x, std::int32_t y) { extend(box, x, y); }

void Summary::record(const Record& record) {
    ++records[record.type];
    bytes = record.offset + record.length;
    hierarchy.record(record);
    if (isElementStart(record.type)) {
        ++elements[record.type];
        if (!cells.empty()) ++cells.back().second;
        inElement = true;
        layer.reset();
        type = 0;
        return;
    }
    switch (record.type) {
        case LIBNAME:
            if (record.dataType == Ascii) libraryName = asciiText(record);
            break;
        case UNITS:
            if (record.dataType == Real8) {
                for (std::size_t i = 0; i < record.dataLength / 8; ++i) {
                    units.push_back(shortReal(record.data + 8 * i, 8));
                }
            }
            break;
        case STRNAME:
            if (record.dataType == Ascii) cells.emplace_back(asciiText(record), 0);
            break;
        case LAYER:
            if (inElement && record.dataType == Int2 && record.dataLength >= 2) {
                layer = record.int2(0);
            }
            break;
        case DATATYPE:
        case TEXTTYPE:
        case BOXTYPE:
        case NODETYPE:
            if (inElement && record.dataType == Int2 && record.dataLength >= 2) {
                type = record.int2(0);
            }
            break;
        case XY:
            if (inElement && record.dataType == Int4) {
                for (std::size_t i = 0; i + 1 < record.dataLength / 4; i += 2) {
                    addPoint(record.int4(i), record.int4(i + 1));
                }
            }
            break;
        case ENDEL:
            if (inElement && layer) ++layerUse[{*layer, type}];
            inElement = false;
            break;
        default:
            break;
    }
}

void Summary::write(std::ostream& out) const {
    out << "library: \"" << libraryName << "\", " << bytes << " bytes";
    if (units.size() == 2) {
        out << ", database unit " << units[0] << " user units, " << units[1] << " m";
    }
    out << '\n';

    std::size_t recordTotal = 0;
    for (const auto& entry : records) recordTotal += entry.second;
    out << "records: " << recordTotal << '\n';
    for (const auto& [recordType, count] : records) {
        out << "  " << recordName(recordType) << ' ' << count << '\n';
    }

    std::size_t elementTotal = 0;
    for (const auto& entry : elements) elementTotal += entry.second;
    out << "elements: " << elementTotal << '\n';
    for (const auto& [recordType, count] : elements) {
        out << "  " << recordName(recordType) << ' ' << count << '\n';
    }

    out << "structures: " << cells.size() << '\n';
    for (const auto& [name, count] : cells) {
        out << "  \"" << name << "\" " << count << (count == 1 ? " element\n" : " elements\n");
    }

    out << "layers: " << layerUse.size() << " (layer/datatype)\n";
    for (const auto& [key, count] : layerUse) {
        out << "  " << key.first << '/' << key.second << ' ' << count
            << (count == 1 ? " element\n" : " elements\n");
    }

    out << "bounding box: ";
    if (const auto top = extent()) {
        // Room for four doubles of any magnitude; adding 0.0 turns -0 into 0.
        char text[1400];
        std::snprintf(text, sizeof text, "(%.0f, %.0f) to (%.0f, %.0f)",
                      std::floor(top->minX) + 0.0, std::floor(top->minY) + 0.0,
                      std::ceil(top->maxX) + 0.0, std::ceil(top->maxY) + 0.0);
        out << text;
    } else {
        out << "none";
    }
    out << " (database units, top structures with references expanded)\n";

    out << "XY extent: ";
    if (box) {
        out << '(' << box->minX << ", " << box->minY << ") to (" << box->maxX << ", " << box->maxY
            << ")";
    } else {
        out << "none";
    }
    out << " (database units, XY points of all elements, references not expanded)\n";
}

}  // namespace quillon::reader
