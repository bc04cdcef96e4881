// RECTANGLE (record 20) and CIRCLE (27). Info bytes: S (square) W H X Y R
// D L for a rectangle, 0 0 r X Y R D L for a circle.
#include "oasis/writer.h"

namespace quillon::oasis {

void Writer::rectangle(std::int64_t x, std::int64_t y, std::uint64_t w, std::uint64_t h,
                       std::uint32_t layerNumber, std::uint32_t datatypeNumber,
                       const PropertyList& properties) {
    candidate.kind = Shape::rectangle;
    candidate.layer = layerNumber;
    candidate.datatype = datatypeNumber;
    candidate.width = w;
    candidate.height = h;
    addShape(x, y, properties);
}

void Writer::emitRectangle(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = 0;
    if (layer.change(s.layer)) info |= 0x01;
    if (datatype.change(s.datatype)) info |= 0x02;
    const bool square = s.width == s.height;
    if (square) info |= 0x80;
    if (width.change(s.width)) info |= 0x40;
    // A square's height is its width; the modal height follows it.
    if (height.change(s.height) && !square) info |= 0x20;
    if (at.x != geometryX) info |= 0x10;
    if (at.y != geometryY) info |= 0x08;
    if (repetition.kind != Repetition::none) info |= 0x04;
    out.push_back(20);
    out.push_back(info);
    if (info & 0x01) putUnsigned(out, s.layer);
    if (info & 0x02) putUnsigned(out, s.datatype);
    if (info & 0x40) putUnsigned(out, s.width);
    if (info & 0x20) putUnsigned(out, s.height);
    if (info & 0x10) putPosition(at.x, geometryX);
    if (info & 0x08) putPosition(at.y, geometryY);
    if (info & 0x04) emitRepetition(repetition);
}

void Writer::circle(std::int64_t x, std::int64_t y, std::uint64_t r, std::uint32_t layerNumber,
                    std::uint32_t datatypeNumber, const PropertyList& properties) {
    candidate.kind = Shape::circle;
    candidate.layer = layerNumber;
    candidate.datatype = datatypeNumber;
    candidate.width = r;
    addShape(x, y, properties);
}

void Writer::emitCircle(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = 0;
    if (layer.change(s.layer)) info |= 0x01;
    if (datatype.change(s.datatype)) info |= 0x02;
    if (radius.change(s.width)) info |= 0x20;
    if (at.x != geometryX) info |= 0x10;
    if (at.y != geometryY) info |= 0x08;
    if (repetition.kind != Repetition::none) info |= 0x04;
    out.push_back(27);
    out.push_back(info);
    if (info & 0x01) putUnsigned(out, s.layer);
    if (info & 0x02) putUnsigned(out, s.datatype);
    if (info & 0x20) putUnsigned(out, s.width);
    if (info & 0x10) putPosition(at.x, geometryX);
    if (info & 0x08) putPosition(at.y, geometryY);
    if (info & 0x04) emitRepetition(repetition);
}

}  // namespace quillon::oasis
