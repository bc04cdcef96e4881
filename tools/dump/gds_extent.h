// The extent of a library's top structures with every reference expanded:
// each structure's own elements (paths widened by half their width), and
// the extents of the structures it references, placed by the reference's
// reflection, magnification, rotation and origin, and for an AREF at the
// four corners of its lattice. Rotations off the right angles give a box
// that encloses the turned one. Works in one pass over the records and
// without recursion, so that neither deep nor cyclic hierarchies can
// exhaust the stack.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

#include "bounding_box.h"
#include <string>
#include <vector>

#include "record_reader.h"

namespace quillon::reader {

class HierarchyExtent {
public:
    using Box = BoundingBox<double>;

    void record(const Record& record);

    // Of all structures that no other structure references (nothing when
    // there is no element, or every structure is referenced).
    std::optional<Box> topExtent() const;

private:
    struct Reference {
        std::string name;
        bool reflected = false;
        double mag = 1.0;
        double angle = 0.0;
        std::vector<std::pair<double, double>> placements;  // origins of the corner instances
    };
    struct Structure {
        std::optional<Box> own;
        std::vector<Reference> references;
    };

    static void include(std::optional<Box>& box, double x, double y);
    // The extent of every structure, by index.
    std::vector<std::optional<Box>> extents() const;
    // The extent of structure index from its own elements and the known
    // extents of the structures it references (state 2: done).
    std::optional<Box> place(std::size_t index, const std::vector<std::optional<Box>>& known,
                             const std::vector<char>& state) const;
    void finishElement();

    std::vector<Structure> structures;
    std::map<std::string, std::size_t> byName;
    std::optional<std::size_t> current;

    // The element being read.
    unsigned kind = 0;
    std::vector<std::pair<double, double>> points;
    double halfWidth = 0;
    std::string name;
    bool reflected = false;
    double mag = 1.0;
    double angle = 0.0;
    int columns = 1;
    int rows = 1;
};

}  // namespace quillon::reader
