# Cross-compiling Quillon.dll with the Debian mingw-w64 toolchain
# (g++-mingw-w64-x86-64).
# The top-level build keys the SSE2 arithmetic of 32-bit builds on this name.
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(QUILLON_MINGW_TRIPLET x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64.cmake)
