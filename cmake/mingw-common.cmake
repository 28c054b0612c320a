# Shared part of the MinGW-w64 toolchain files (mingw-i686.cmake,
# mingw-x86_64.cmake), which set LUMORA_MINGW_TRIPLE, the processor and
# LUMORA_WINE_ARCH first. The -posix compilers are required: the -win32
# ones have no std::thread.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER   ${LUMORA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${LUMORA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${LUMORA_MINGW_TRIPLE}-windres)
set(CMAKE_AR           ${LUMORA_MINGW_TRIPLE}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB       ${LUMORA_MINGW_TRIPLE}-gcc-ranlib-posix CACHE FILEPATH "")

# The cross-built libraries (scripts/win-deps.sh) come first, then the
# MinGW sysroot.
set(CMAKE_FIND_ROOT_PATH ${LUMORA_WIN_DEPS} /usr/${LUMORA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Tests of this tree run under Wine of the same width.
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run --arch=${LUMORA_WINE_ARCH})

# try_compile projects re-read this file: pass the prefix on.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES LUMORA_WIN_DEPS)
