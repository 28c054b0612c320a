# Cross-compiling for 32-bit Windows (the plugin Total Commander 32-bit loads).
set(CMAKE_SYSTEM_PROCESSOR i686)
set(LUMORA_MINGW_TRIPLE i686-w64-mingw32)
set(LUMORA_WINE_ARCH win32)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
