// The global pointer through which every exported function reaches the one
// writer object; set by the platform layer when the library is loaded.
#pragma once

#include "quillon.h"

namespace quillon {

class GDSIIWriter;
extern GDSIIWriter* theWriter;

}  // namespace quillon
