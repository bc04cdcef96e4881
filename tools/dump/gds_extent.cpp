#include "gds_extent.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "gds_records.h"
#include "gds_values.h"

namespace quillon::reader {

void HierarchyExtent::include(std::optional<Box>& box, double x, double y) {
    if (!std::isfinite(x) || !std::isfinite(y)) return;
    extend(box, x, y);
}

void HierarchyExtent::record(const Record& record) {
    if (isElementStart(record.type)) {
        kind = record.type;
        points.clear();
        halfWidth = 0;
        name.clear();
        reflected = false;
        mag = 1.0;
        angle = 0.0;
        columns = rows = 1;
        return;
    }
    switch (record.type) {
        case STRNAME:
            if (record.dataType == Ascii) {
                std::string text(reinterpret_cast<const char*>(record.data), record.dataLength);
                if (!text.empty() && text.back() == '\0') text.pop_back();
                current = structures.size();
                structures.emplace_back();
                byName[text] = *current;
            }
            break;
        case ENDSTR:
            current.reset();
            break;
        case XY:
            if (record.dataType == Int4) {
                for (std::size_t i = 0; i + 1 < record.dataLength / 4; i += 2) {
                    points.emplace_back(record.int4(i), record.int4(i + 1));
                }
            }
            break;
        case WIDTH:
            if (record.dataType == Int4 && record.dataLength >= 4) {
                halfWidth = std::fabs(static_cast<double>(record.int4(0))) / 2;
            }
            break;
        case SNAME:
            if (record.dataType == Ascii) {
                name.assign(reinterpret_cast<const char*>(record.data), record.dataLength);
                if (!name.empty() && name.back() == '\0') name.pop_back();
            }
            break;
        case STRANS:
            if (record.dataType == BitArray && record.dataLength >= 2) {
                reflected = (static_cast<std::uint16_t>(record.int2(0)) & 0x8000) != 0;
            }
            break;
        case MAG:
            if (record.dataType == Real8 && record.dataLength >= 8) {
                mag = realValue(record.data, 8);
            }
            break;
        case ANGLE:
            if (record.dataType == Real8 && record.dataLength >= 8) {
                angle = realValue(record.data, 8);
            }
            break;
        case COLROW:
            if (record.dataType == Int2 && record.dataLength >= 4) {
                columns = record.int2(0);
                rows = record.int2(1);
            }
            break;
        case ENDEL:
            finishElement();
            kind = 0;
            break;
        default:
            break;
    }
}

void HierarchyExtent::finishElement() {
    if (!current || kind == 0) return;
    Structure& structure = structures[*current];
    if (kind == SREF || kind == AREF) {
        Reference reference{name, reflected, mag, angle, {}};
        if (kind == SREF && !points.empty()) {
            reference.placements.push_back(points[0]);
        } else if (kind == AREF && points.size() >= 3 && columns > 0 && rows > 0) {
            const auto [x0, y0] = points[0];
            const double colX = (points[1].first - x0) / columns;
            const double colY = (points[1].second - y0) / columns;
            const double rowX = (points[2].first - x0) / rows;
            const double rowY = (points[2].second - y0) / rows;
            for (int i : {0, columns - 1}) {
                for (int j : {0, rows - 1}) {
                    reference.placements.emplace_back(x0 + i * colX + j * rowX,
                                                      y0 + i * colY + j * rowY);
                }
            }
        }
        if (!reference.placements.empty()) structure.references.push_back(reference);
        return;
    }
    const double grow = kind == PATH ? halfWidth : 0;
    for (const auto& [x, y] : points) {
        include(structure.own, x - grow, y - grow);
        include(structure.own, x + grow, y + grow);
    }
}

std::vector<std::optional<HierarchyExtent::Box>> HierarchyExtent::extents() const {
    // Depth-first over the reference graph with an explicit stack: a
    // structure's extent is known once all structures it references are.
    // A structure met again while still open (a cycle) counts as empty.
    std::vector<std::optional<Box>> result(structures.size());
    std::vector<char> state(structures.size(), 0);  // 0 new, 1 open, 2 done
    std::vector<std::size_t> stack;
    for (std::size_t start = 0; start < structures.size(); ++start) {
        if (state[start] == 0) stack.push_back(start);
        while (!stack.empty()) {
            const std::size_t top = stack.back();
            if (state[top] == 0) {
                state[top] = 1;
                for (const auto& reference : structures[top].references) {
                    const auto found = byName.find(reference.name);
                    if (found != byName.end() && state[found->second] == 0) {
                        stack.push_back(found->second);
                    }
                }
                continue;
            }
            stack.pop_back();
            if (state[top] == 2) continue;
            result[top] = place(top, result, state);
            state[top] = 2;
        }
    }
    return result;
}

std::optional<HierarchyExtent::Box> HierarchyExtent::place(
    std::size_t index, const std::vector<std::optional<Box>>& known,
    const std::vector<char>& state) const {
    std::optional<Box> box = structures[index].own;
    for (const auto& reference : structures[index].references) {
        const auto found = byName.find(reference.name);
        if (found == byName.end() || state[found->second] != 2) continue;
        const std::optional<Box>& child = known[found->second];
        if (!child) continue;
        const double radians = reference.angle * std::acos(-1.0) / 180.0;
        const double c = std::cos(radians) * reference.mag;
        const double s = std::sin(radians) * reference.mag;
        for (const auto& [originX, originY] : reference.placements) {
            for (double x : {child->minX, child->maxX}) {
                for (double y : {child->minY, child->maxY}) {
                    const double ry = reference.reflected ? -y : y;
                    include(box, originX + x * c - ry * s, originY + x * s + ry * c);
                }
            }
        }
    }
    return box;
}

std::optional<HierarchyExtent::Box> HierarchyExtent::topExtent() const {
    // A structure that only references itself is still a top structure.
    std::set<std::size_t> referenced;
    for (std::size_t i = 0; i < structures.size(); ++i) {
        for (const auto& reference : structures[i].references) {
            const auto found = byName.find(reference.name);
            if (found != byName.end() && found->second != i) referenced.insert(found->second);
        }
    }
    const auto all = extents();
    std::optional<Box> box;
    for (std::size_t i = 0; i < structures.size(); ++i) {
        if (referenced.count(i) != 0) continue;
        if (const auto& extent = all[i]) {
            include(box, extent->minX, extent->minY);
            include(box, extent->maxX, extent->maxY);
        }
    }
    return box;
}

}  // namespace quillon::reader
