# Cross-compiling for 64-bit Windows (the plugin 64-bit Total Commander loads).
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(LUMORA_MINGW_TRIPLE x86_64-w64-mingw32)
set(LUMORA_WINE_ARCH win64)
include(${CMAKE_CURRENT_LIST_DIR}/mingw-common.cmake)
