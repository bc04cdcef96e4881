// Properties: (attribute, value) pairs that GDSII attaches to an element as
// PROPATTR and PROPVALUE records between its data and ENDEL. Net names on
// pins, device parameters, fill tags. They arrive before the element they
// belong to, since elements are written as they come.
//
// The classic format limits the property bytes of one element to 128;
// KLayout and gdstk write and read more, so no such limit is imposed here:
// each value may be as long as a record can hold.
#include "core/gdsii_writer.h"
#include "core/messages.h"
#include "core/records.h"

namespace quillon {

void GDSIIWriter::addProperty(std::int32_t attribute, const char* value) {
    if (attribute < 1 || attribute > 0xFFFF) {
        report(messages::propertyAttributeRange);
        return;
    }
    if (!strictNumber16(attribute)) return;
    if (value == nullptr) {
        report(messages::propertyValueNull);
        return;
    }
    const std::size_t length = measureString(value);
    if (length + (length & 1) > maxRecordData) {
        report(messages::propertyValueTooLong);
        return;
    }
    properties.push_back({attribute, std::string(value, length)});
}

void GDSIIWriter::writePropertiesAndEnd() {
    for (const Property& property : properties) {
        writeInt2Record(out, Record::PROPATTR, property.attribute);
        writeStringRecord(out, Record::PROPVALUE, property.value.data(), property.value.size());
    }
    endElement(out);
}

void GDSIIWriter::dropUnusedProperties() {
    if (properties.empty()) return;
    properties.clear();
    report(messages::propertiesWithoutElement);
}

}  // namespace quillon
