// The records of a GDSII structure turned back into the writer's own calls:
// BGNSTR ... ENDSTR becomes beginStructure and endStructure, and every
// element between them the element call that writes it, with its
// properties queued first. A library that is not GDSII (OASIS) takes an
// included or converted file this way, so that every element goes through
// the same encoders, checks and reports as one the host writes itself.
//
// It holds one element at a time: the points of the element being read
// (several XY records of one element are joined), its fields and its
// properties. Memory grows with the largest element, not with the file.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

#include "reader/record_reader.h"

namespace quillon {
class GDSIIWriter;
}

namespace quillon::include {

class ElementReplay {
public:
    // ratio: the library's database units in one of the file's, by which
    // every coordinate, width and extension is multiplied; the caller has
    // checked that the products fit 32 bits. renamed: the new name of each
    // structure of the file that is renamed, for its STRNAME and every
    // SNAME naming it (NULL: names kept).
    using Renamed = std::unordered_map<std::string, std::string>;
    ElementReplay(GDSIIWriter& writer, std::int64_t ratio, const Renamed* renamed);

    // Takes the next record of the file. Records outside structures
    // (the library's header, UNITS, ENDLIB) are passed over, and so are
    // those no element call has a field for (ELKEY, TEXTNODE's, STRCLASS,
    // cell properties: see quillon_include in quillon.h).
    void take(const reader::Record& record);

private:
    struct Element {
        unsigned kind = 0;  // the record type that opened it
        std::int32_t layer = 0;
        std::int32_t type = 0;  // DATATYPE, TEXTTYPE, BOXTYPE or NODETYPE
        std::int32_t width = 0;
        std::int32_t pathType = 0;
        std::int32_t beginExtension = 0;
        std::int32_t endExtension = 0;
        std::int32_t strans = 0;
        double mag = 1.0;
        double angle = 0.0;
        std::int32_t presentation = 0;
        std::int32_t columns = 0;
        std::int32_t rows = 0;
        std::int32_t elFlags = 0;
        std::int32_t plex = 0;
        std::string name;  // SNAME, renamed
        std::string text;  // STRING
        std::vector<std::int32_t> xs, ys;
        std::vector<std::pair<std::int32_t, std::string>> properties;
        std::int32_t pendingAttribute = -1;  // a PROPATTR waiting for its PROPVALUE
    };

    void startElement(unsigned kind);
    void field(const reader::Record& record);
    void finishElement();
    std::int32_t scaled(std::int32_t value) const {
        return static_cast<std::int32_t>(value * ratio);
    }
    std::string mapped(const std::string& name) const;

    GDSIIWriter& writer;
    std::int64_t ratio;
    const Renamed* renamed;
    bool inStructure = false;
    bool nameExpected = false;
    bool inElement = false;
    Element element;
};

}  // namespace quillon::include
