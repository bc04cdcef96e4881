// An axis-aligned bounding box that grows point by point.
#pragma once

#include <algorithm>
#include <optional>

namespace quillon::reader {

template <typename T>
struct BoundingBox {
    T minX, minY, maxX, maxY;
};

// Grows box (empty until the first point) to take in (x, y).
template <typename T>
void extend(std::optional<BoundingBox<T>>& box, T x, T y) {
    if (!box) {
        box = BoundingBox<T>{x, y, x, y};
        return;
    }
    box->minX = std::min(box->minX, x);
    box->minY = std::min(box->minY, y);
    box->maxX = std::max(box->maxX, x);
    box->maxY = std::max(box->maxY, y);
}

}  // namespace quillon::reader
