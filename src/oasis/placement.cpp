// PLACEMENT: record 17 (info C N X Y R A A F: a quarter-turn angle, no
// magnification) or 18 (C N X Y R M A F: magnification and angle as reals),
// the cell by reference number.
#include "oasis/writer.h"

#include <cmath>

namespace quillon::oasis {

void Writer::placement(const char* name, std::size_t length, std::int64_t x, std::int64_t y,
                       double magnification, double angle, bool mirror,
                       const Repetition& repetition, const PropertyList& properties) {
    candidate.kind = Shape::placement;
    candidate.cell = static_cast<std::uint64_t>(cellNames.number(name, length));
    candidate.magnification = magnification;
    candidate.angle = angle;
    candidate.mirror = mirror;
    if (repetition.kind == Repetition::none) {
        addShape(x, y, properties);
        return;
    }
    // An array: written at once with its own repetition.
    emit(candidate, {x, y}, repetition);
    emitProperties(properties);
    output.recordDone();
}

void Writer::emitPlacement(const Shape& s, Delta at, const Repetition& repetition) {
    const double quarters = s.angle / 90;
    const bool quarterTurn = s.magnification == 1 && quarters == std::nearbyint(quarters);
    std::uint8_t info = 0;
    if (placedCell.change(s.cell)) info |= 0xC0;
    if (at.x != placementX) info |= 0x20;
    if (at.y != placementY) info |= 0x10;
    if (repetition.kind != Repetition::none) info |= 0x08;
    if (s.mirror) info |= 0x01;
    if (quarterTurn) {
        const long turns = static_cast<long>(std::fmod(quarters, 4.0));
        info |= static_cast<std::uint8_t>(((turns + 4) % 4) << 1);
        out.push_back(17);
    } else {
        if (s.magnification != 1) info |= 0x04;
        if (s.angle != 0) info |= 0x02;
        out.push_back(18);
    }
    out.push_back(info);
    if (info & 0x80) putUnsigned(out, s.cell);
    if (!quarterTurn && (info & 0x04)) putReal(out, s.magnification);
    if (!quarterTurn && (info & 0x02)) putReal(out, s.angle);
    if (info & 0x20) putPosition(at.x, placementX);
    if (info & 0x10) putPosition(at.y, placementY);
    if (info & 0x08) emitRepetition(repetition);
}

}  // namespace quillon::oasis
