# The part of the mingw-w64 toolchain files that both architectures share:
# the Debian cross compilers of QUILLON_MINGW_TRIPLET, win32 thread model,
# and a search confined to that target's root.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${QUILLON_MINGW_TRIPLET}-gcc-win32)
set(CMAKE_CXX_COMPILER ${QUILLON_MINGW_TRIPLET}-g++-win32)
set(CMAKE_RC_COMPILER ${QUILLON_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QUILLON_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
