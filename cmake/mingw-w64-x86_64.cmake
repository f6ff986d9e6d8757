# Cross build for 64-bit Windows with Debian's mingw-w64 (packages
# g++-mingw-w64-x86-64-posix, mingw-w64-x86-64-dev). tools/windows-build.sh uses it.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(ENCTL_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${ENCTL_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ENCTL_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${ENCTL_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ENCTL_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The programs carry their C and C++ runtimes, so that they run from any
# folder (and under Wine) without the toolchain's DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
# Programs run through Wine (ctest). Debian's wine64 package installs the
# loader as /usr/lib/wine/wine64 (the "wine" wrapper is another package).
find_program(ENCTL_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
set(CMAKE_CROSSCOMPILING_EMULATOR ${ENCTL_WINE})
