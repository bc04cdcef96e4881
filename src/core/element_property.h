// A property of an element: GDSII's PROPATTR attribute and PROPVALUE
// value, queued by addProperty for the next element.
#pragma once

#include <cstdint>
#include <string>

namespace quillon {

struct ElementProperty {
    std::int32_t attribute;
    std::string value;
};

}  // namespace quillon
