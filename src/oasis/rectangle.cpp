// RECTANGLE (record 20) and CIRCLE (27). Info bytes: S (square) W H X Y R
// D L for a rectangle, 0 0 r X Y R D L for a circle.
#include "oasis/writer.h"

namespace quillon::oasis {

void Writer::rectangle(std::int64_t x, std::int64_t y, std::uint64_t w, std::uint64_t h,
                       std::uint32_t layerNumber, std::uint32_t datatypeNumber,
                       const PropertyList& properties) {
    startCandidate(Shape::rectangle, layerNumber, datatypeNumber);
    candidate.width = w;
    candidate.height = h;
    addShape(x, y, properties);
}

void Writer::emitRectangle(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = geometryInfo(s, at, repetition);
    const bool square = s.width == s.height;
    if (square) info |= 0x80;
    if (width.change(s.width)) info |= 0x40;
    // A square's height is its width; the modal height follows it.
    if (height.change(s.height) && !square) info |= 0x20;
    putGeometryHead(20, info, s);
    if (info & 0x40) putUnsigned(out, s.width);
    if (info & 0x20) putUnsigned(out, s.height);
    putGeometryTail(info, at, repetition);
}

void Writer::circle(std::int64_t x, std::int64_t y, std::uint64_t r, std::uint32_t layerNumber,
                    std::uint32_t datatypeNumber, const PropertyList& properties) {
    startCandidate(Shape::circle, layerNumber, datatypeNumber);
    candidate.width = r;
    addShape(x, y, properties);
}

void Writer::emitCircle(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = geometryInfo(s, at, repetition);
    if (radius.change(s.width)) info |= 0x20;
    putGeometryHead(27, info, s);
    if (info & 0x20) putUnsigned(out, s.width);
    putGeometryTail(info, at, repetition);
}

}  // namespace quillon::oasis
