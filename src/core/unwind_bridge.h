// Lets a GDSIIException thrown by Quillon.dll reach the catch clauses of a
// 32-bit MinGW host; see unwind_bridge.cpp. Elsewhere these do nothing.
#pragma once

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

namespace quillon {

// Called from DllMain at process attach and detach.
void registerUnwindTables(HINSTANCE self);
void deregisterUnwindTables();

}  // namespace quillon
