// TEXT (record 19), info bytes 0 C N X Y R T L: the string by reference
// number, the text layer and type, the position. Texts are written as they
// come.
#include "oasis/writer.h"

namespace quillon::oasis {

void Writer::text(std::int64_t x, std::int64_t y, const char* string, std::size_t length,
                  std::uint32_t layerNumber, std::uint32_t type, const PropertyList& properties) {
    const auto number = static_cast<std::uint64_t>(textStrings.number(string, length));
    std::uint8_t info = 0;
    if (textString.change(number)) info |= 0x60;
    if (textLayer.change(layerNumber)) info |= 0x01;
    if (textType.change(type)) info |= 0x02;
    if (x != textX) info |= 0x10;
    if (y != textY) info |= 0x08;
    out.push_back(19);
    out.push_back(info);
    if (info & 0x20) putUnsigned(out, number);
    if (info & 0x01) putUnsigned(out, layerNumber);
    if (info & 0x02) putUnsigned(out, type);
    if (info & 0x10) putPosition(x, textX);
    if (info & 0x08) putPosition(y, textY);
    emitProperties(properties);
    output.recordDone();
}

}  // namespace quillon::oasis
