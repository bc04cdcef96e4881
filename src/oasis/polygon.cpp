// POLYGON (record 21), info bytes 0 0 P X Y R D L: the first vertex is the
// position, the point list the steps from it.
#include "oasis/writer.h"

namespace quillon::oasis {

void Writer::polygon(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                     std::uint32_t layerNumber, std::uint32_t datatypeNumber,
                     const PropertyList& properties) {
    candidate.kind = Shape::polygon;
    candidate.layer = layerNumber;
    candidate.datatype = datatypeNumber;
    candidate.points.clear();
    putPointList(candidate.points, xs, ys, n, true);
    addShape(xs[0], ys[0], properties);
}

void Writer::emitPolygon(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = 0;
    if (layer.change(s.layer)) info |= 0x01;
    if (datatype.change(s.datatype)) info |= 0x02;
    if (polygonPoints.change(s.points)) info |= 0x20;
    if (at.x != geometryX) info |= 0x10;
    if (at.y != geometryY) info |= 0x08;
    if (repetition.kind != Repetition::none) info |= 0x04;
    out.push_back(21);
    out.push_back(info);
    if (info & 0x01) putUnsigned(out, s.layer);
    if (info & 0x02) putUnsigned(out, s.datatype);
    if (info & 0x20) out.insert(out.end(), s.points.begin(), s.points.end());
    if (info & 0x10) putPosition(at.x, geometryX);
    if (info & 0x08) putPosition(at.y, geometryY);
    if (info & 0x04) emitRepetition(repetition);
}

}  // namespace quillon::oasis
