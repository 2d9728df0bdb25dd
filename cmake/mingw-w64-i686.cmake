# Cross-compiling for 32-bit Windows with Debian's mingw-w64 (g++-mingw-w64-i686).
# The -posix variant of the compiler: its standard library has std::thread and
# std::mutex. The runtime is linked statically (libgcc, libstdc++ and
# winpthread), so the programs need no DLL beyond the system's own.
#
#   cmake -S . -B build-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-i686.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(NL_MINGW_PREFIX i686-w64-mingw32)
find_program(CMAKE_C_COMPILER NAMES ${NL_MINGW_PREFIX}-gcc-posix ${NL_MINGW_PREFIX}-gcc REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${NL_MINGW_PREFIX}-g++-posix ${NL_MINGW_PREFIX}-g++ REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${NL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${NL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Tests and helpers run under Wine when CTest runs them.
find_program(NL_WINE NAMES wine)
if(NL_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${NL_WINE})
endif()
