// GDSII records replayed as the writer's element calls; see
// element_replay.h.
#include "element_replay.h"

#include <algorithm>

#include "core/gdsii_writer.h"
#include "reader/gds_records.h"
#include "reader/library_check.h"

namespace quillon::include {

namespace rd = quillon::reader;

namespace {

// Layers, types and flag words are 16-bit fields that files fill from 0 to
// 65535; the writer's checks decide what each may hold.
std::int32_t unsigned16(const rd::Record& record) {
    return record.dataLength >= 2 ? static_cast<std::uint16_t>(record.int2(0)) : 0;
}

std::int32_t int4(const rd::Record& record) {
    return record.dataLength >= 4 ? record.int4(0) : 0;
}

}  // namespace

ElementReplay::ElementReplay(GDSIIWriter& writer, std::int64_t ratio, const Renamed* renamed)
    : writer(writer), ratio(ratio), renamed(renamed) {}

std::string ElementReplay::mapped(const std::string& name) const {
    if (renamed == nullptr) return name;
    const auto found = renamed->find(name);
    return found != renamed->end() ? found->second : name;
}

void ElementReplay::take(const rd::Record& record) {
    if (inElement) {
        if (record.type == rd::ENDEL) {
            finishElement();
            inElement = false;
        } else {
            field(record);
        }
        return;
    }
    switch (record.type) {
    case rd::BGNSTR:
        inStructure = true;
        nameExpected = true;
        break;
    case rd::STRNAME:
        if (nameExpected) writer.beginStructure(mapped(rd::asciiValue(record)).c_str());
        nameExpected = false;
        break;
    case rd::ENDSTR:
        if (inStructure) writer.endStructure();
        inStructure = false;
        break;
    default:
        if (inStructure && rd::isElementStart(record.type)) startElement(record.type);
        break;
    }
}

void ElementReplay::startElement(unsigned kind) {
    element.kind = kind;
    element.layer = element.type = element.width = element.pathType = 0;
    element.beginExtension = element.endExtension = element.strans = 0;
    element.mag = 1.0;
    element.angle = 0.0;
    element.presentation = element.columns = element.rows = 0;
    element.elFlags = element.plex = 0;
    element.name.clear();
    element.text.clear();
    element.xs.clear();
    element.ys.clear();
    element.properties.clear();
    element.pendingAttribute = -1;
    inElement = true;
}

void ElementReplay::field(const rd::Record& record) {
    Element& e = element;
    switch (record.type) {
    case rd::LAYER: e.layer = unsigned16(record); break;
    case rd::DATATYPE:
    case rd::TEXTTYPE:
    case rd::BOXTYPE:
    case rd::NODETYPE: e.type = unsigned16(record); break;
    case rd::WIDTH: e.width = scaled(int4(record)); break;
    case rd::PATHTYPE: e.pathType = unsigned16(record); break;
    case rd::BGNEXTN: e.beginExtension = scaled(int4(record)); break;
    case rd::ENDEXTN: e.endExtension = scaled(int4(record)); break;
    case rd::STRANS: e.strans = unsigned16(record); break;
    case rd::MAG: if (record.dataLength >= 8) e.mag = record.real8(0); break;
    case rd::ANGLE: if (record.dataLength >= 8) e.angle = record.real8(0); break;
    case rd::PRESENTATION: e.presentation = unsigned16(record); break;
    case rd::ELFLAGS: e.elFlags = unsigned16(record); break;
    case rd::PLEX: e.plex = int4(record); break;
    case rd::SNAME: e.name = mapped(rd::asciiValue(record)); break;
    case rd::STRING: e.text = rd::asciiValue(record); break;
    case rd::COLROW:
        if (record.dataLength >= 4) {
            e.columns = record.int2(0);
            e.rows = record.int2(1);
        }
        break;
    case rd::XY:
        // Several XY records in one element (as some writers split long
        // polygons and paths) are one list of points.
        for (std::size_t i = 0; i + 1 < record.dataLength / 4; i += 2) {
            e.xs.push_back(scaled(record.int4(i)));
            e.ys.push_back(scaled(record.int4(i + 1)));
        }
        break;
    case rd::PROPATTR: e.pendingAttribute = unsigned16(record); break;
    case rd::PROPVALUE:
        if (e.pendingAttribute >= 0)
            e.properties.emplace_back(e.pendingAttribute, rd::asciiValue(record));
        e.pendingAttribute = -1;
        break;
    default: break;
    }
}

void ElementReplay::finishElement() {
    Element& e = element;
    const auto n = static_cast<std::int32_t>(e.xs.size());
    const std::int32_t* xs = e.xs.data();
    const std::int32_t* ys = e.ys.data();
    // An element with too few points for its call is passed over, and its
    // properties with it, so that they never reach the next element.
    const bool onePoint = e.kind == rd::SREF || e.kind == rd::TEXT || e.kind == rd::BOX;
    const std::int32_t needed = e.kind == rd::AREF ? 3 : onePoint ? 1 : 0;
    if (n < needed || e.kind == rd::TEXTNODE) return;
    for (const auto& property : e.properties)
        writer.addProperty(property.first, property.second.c_str());
    switch (e.kind) {
    case rd::BOUNDARY: {
        // The file closes the ring with its first point; the writer's
        // polygons are given with each vertex once.
        std::int32_t vertices = n;
        if (vertices > 1 && xs[0] == xs[vertices - 1] && ys[0] == ys[vertices - 1]) --vertices;
        writer.writePolygon(xs, ys, vertices, e.layer, e.type, e.elFlags, e.plex);
        break;
    }
    case rd::PATH:
        writer.writePathEx(xs, ys, n, e.width, e.pathType,
                           e.pathType == 4 ? e.beginExtension : 0,
                           e.pathType == 4 ? e.endExtension : 0, 0, 0.0, e.layer, e.type,
                           e.elFlags, e.plex);
        break;
    case rd::SREF:
        writer.writeSref(e.name.c_str(), xs[0], ys[0], e.strans, e.mag, e.angle, e.elFlags,
                         e.plex);
        break;
    case rd::AREF:
        writer.writeAref(e.name.c_str(), xs, ys, e.columns, e.rows, e.strans, e.mag, e.angle,
                         e.elFlags, e.plex);
        break;
    case rd::TEXT:
        writer.writeText(xs[0], ys[0], e.text.c_str(), e.layer, e.type, e.presentation,
                         e.pathType, e.width, e.strans, e.mag, e.angle, e.elFlags, e.plex);
        break;
    case rd::NODE:
        writer.writeNode(xs, ys, n, e.layer, e.type, e.elFlags, e.plex);
        break;
    case rd::BOX: {
        // A BOX is a rectangle: its extent.
        const auto [x1, x2] = std::minmax_element(e.xs.begin(), e.xs.end());
        const auto [y1, y2] = std::minmax_element(e.ys.begin(), e.ys.end());
        writer.writeBox(*x1, *y1, *x2, *y2, e.layer, e.type, e.elFlags, e.plex);
        break;
    }
    default: break;
    }
}

}  // namespace quillon::include
