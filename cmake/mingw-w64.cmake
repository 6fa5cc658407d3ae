# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers. The
# POSIX-thread variants are the ones with std::thread; the plain names may
# point at either variant. Programs are linked with the compiler's own run-time
# libraries inside, so an .exe needs no MinGW DLL beside it, and they run under
# wine64 wherever CMake or CTest runs one (tests, test discovery).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELMORA_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELMORA_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELMORA_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${VELMORA_MINGW_TRIPLET}-windres)

# Libraries built for Windows elsewhere (Qt, from scripts/build-qt-windows.sh)
# are found through CMAKE_PREFIX_PATH.
set(CMAKE_FIND_ROOT_PATH /usr/${VELMORA_MINGW_TRIPLET} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian installs the 64-bit loader outside PATH; /usr/bin/wine picks it too.
find_program(VELMORA_WINE64 NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(VELMORA_WINE64)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VELMORA_WINE64})
endif()

set(CMAKE_EXE_LINKER_FLAGS_INIT -static)
