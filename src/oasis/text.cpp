// TEXT (record 19), info bytes 0 C N X Y R T L: the string by reference
// number (or, once the string table is full, in the record), the text
// layer and type, the position. Texts are written as they come.
#include "oasis/writer.h"

namespace quillon::oasis {

void Writer::text(std::int64_t x, std::int64_t y, const char* string, std::size_t length,
                  std::uint32_t layerNumber, std::uint32_t type, const PropertyList& properties) {
    const std::int64_t number = textStrings.number(string, length);
    std::uint8_t info = 0;
    if (number < 0) {
        info |= 0x40;
        textString.known = false;
    } else if (textString.change(static_cast<std::uint64_t>(number))) {
        info |= 0x60;
    }
    if (textLayer.change(layerNumber)) info |= 0x01;
    if (textType.change(type)) info |= 0x02;
    if (x != textX) info |= 0x10;
    if (y != textY) info |= 0x08;
    out.push_back(19);
    out.push_back(info);
    if (number < 0)
        putString(out, string, length);
    else if (info & 0x20)
        putUnsigned(out, static_cast<std::uint64_t>(number));
    if (info & 0x01) putUnsigned(out, layerNumber);
    if (info & 0x02) putUnsigned(out, type);
    if (info & 0x10) putPosition(x, textX);
    if (info & 0x08) putPosition(y, textY);
    emitProperties(properties);
    output.recordDone();
}

}  // namespace quillon::oasis
