// The --summary view of quillon-dump: record and element counts, the
// structures, the layers in use, the bounding box of the top structures
// with their references expanded, and the extent of all XY points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "bounding_box.h"
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "gds_extent.h"
#include "record_reader.h"

namespace quillon::reader {

class Summary {
public:
    void record(const Record& record);
    void write(std::ostream& out) const;

    // Counts by record type number and by element record type number.
    const std::map<unsigned, std::size_t>& recordCounts() const { return records; }
    const std::map<unsigned, std::size_t>& elementCounts() const { return elements; }
    // Every structure name with the number of elements it holds, in file order.
    const std::vector<std::pair<std::string, std::size_t>>& structures() const { return cells; }
    // Elements per (layer, data type); the data type of a text is its text
    // type, of a box its box type, of a node its node type.
    const std::map<std::pair<int, int>, std::size_t>& layers() const { return layerUse; }

    using Box = BoundingBox<std::int32_t>;
    // Of every XY point of every element, references not expanded (an SREF
    // counts with its origin, an AREF with its three points).
    const std::optional<Box>& boundingBox() const { return box; }
    // Of the top structures with every reference expanded.
    std::optional<HierarchyExtent::Box> extent() const { return hierarchy.topExtent(); }

private:
    void addPoint(std::int32_t x, std::int32_t y);

    std::map<unsigned, std::size_t> records;
    std::map<unsigned, std::size_t> elements;
    std::vector<std::pair<std::string, std::size_t>> cells;
    std::map<std::pair<int, int>, std::size_t> layerUse;
    std::optional<Box> box;
    HierarchyExtent hierarchy;
    std::string libraryName;
    std::vector<std::string> units;
    std::size_t bytes = 0;

    // The element being read.
    bool inElement = false;
    std::optional<int> layer;
    int type = 0;
};

}  // namespace quillon::reader
