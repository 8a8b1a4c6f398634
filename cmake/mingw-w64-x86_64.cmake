# Cross build for 64-bit Windows with Debian's mingw-w64 (posix thread model, so std::thread and
# std::mutex work). Used by the "windows" preset; the module becomes Morvek2.dll.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MORVEK2_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MORVEK2_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MORVEK2_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MORVEK2_MINGW_TRIPLET}-windres)

# Headers and libraries come only from the mingw sysroot; programs run at build time are the
# build machine's own.
set(CMAKE_FIND_ROOT_PATH /usr/${MORVEK2_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
