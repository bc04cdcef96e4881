// POLYGON (record 21), info bytes 0 0 P X Y R D L: the first vertex is the
// position, the point list the steps from it.
#include "oasis/writer.h"

namespace quillon::oasis {

void Writer::polygon(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                     std::uint32_t layerNumber, std::uint32_t datatypeNumber,
                     const PropertyList& properties) {
    startCandidate(Shape::polygon, layerNumber, datatypeNumber);
    candidate.points.clear();
    putPointList(candidate.points, xs, ys, n, true);
    addShape(xs[0], ys[0], properties);
}

void Writer::emitPolygon(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = geometryInfo(s, at, repetition);
    if (polygonPoints.change(s.points)) info |= 0x20;
    putGeometryHead(21, info, s);
    if (info & 0x20) out.insert(out.end(), s.points.begin(), s.points.end());
    putGeometryTail(info, at, repetition);
}

}  // namespace quillon::oasis
