// PATH (record 22), info bytes E W P X Y R D L. The extension scheme holds
// two bits per end: 0 the modal extension, 1 flush, 2 half the width, 3 an
// explicit signed value following the scheme.
#include "oasis/writer.h"

namespace quillon::oasis {

namespace {

std::uint8_t endScheme(bool same, std::int64_t extension, std::uint64_t halfWidth) {
    if (same) return 0;
    if (extension == 0) return 1;
    if (extension >= 0 && static_cast<std::uint64_t>(extension) == halfWidth) return 2;
    return 3;
}

}  // namespace

void Writer::path(const std::int32_t* xs, const std::int32_t* ys, std::size_t n,
                  std::uint64_t half, std::int64_t startExt, std::int64_t endExt,
                  std::uint32_t layerNumber, std::uint32_t datatypeNumber,
                  const PropertyList& properties) {
    startCandidate(Shape::path, layerNumber, datatypeNumber);
    candidate.width = half;
    candidate.startExtension = startExt;
    candidate.endExtension = endExt;
    candidate.points.clear();
    putPointList(candidate.points, xs, ys, n, false);
    addShape(xs[0], ys[0], properties);
}

void Writer::emitPath(const Shape& s, Delta at, const Repetition& repetition) {
    std::uint8_t info = geometryInfo(s, at, repetition);
    if (halfWidth.change(s.width)) info |= 0x40;
    const bool sameStart = !startExtension.change(s.startExtension);
    const bool sameEnd = !endExtension.change(s.endExtension);
    if (!sameStart || !sameEnd) info |= 0x80;
    if (pathPoints.change(s.points)) info |= 0x20;
    putGeometryHead(22, info, s);
    if (info & 0x40) putUnsigned(out, s.width);
    if (info & 0x80) {
        const std::uint8_t start = endScheme(sameStart, s.startExtension, s.width);
        const std::uint8_t end = endScheme(sameEnd, s.endExtension, s.width);
        out.push_back(static_cast<std::uint8_t>(start << 2 | end));
        if (start == 3) putSigned(out, s.startExtension);
        if (end == 3) putSigned(out, s.endExtension);
    }
    if (info & 0x20) out.insert(out.end(), s.points.begin(), s.points.end());
    putGeometryTail(info, at, repetition);
}

}  // namespace quillon::oasis
