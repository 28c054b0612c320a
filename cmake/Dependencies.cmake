# Third-party libraries as imported targets lumora::<name>.
# Natively they are Debian's -dev packages; for Windows they are the static
# libraries that scripts/win-deps.sh cross-builds into LUMORA_WIN_DEPS.

# lumora_import(NAME HEADER h NAMES lib... [PATH_SUFFIXES ...] [DEFINES ...] [LIBS ...])
# LIBS: what the library itself needs at link time (other lumora:: targets,
# system libraries); static archives have to name it.
function(lumora_import name)
  cmake_parse_arguments(ARG "" "HEADER" "NAMES;DEFINES;LIBS;PATH_SUFFIXES" ${ARGN})
  if(WIN32)
    # Only the cross-built prefix: never the MinGW sysroot's copies (its
    # zlib, for one, comes with an import library for a DLL).
    set(where PATHS ${LUMORA_WIN_DEPS}/include NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    set(where_lib PATHS ${LUMORA_WIN_DEPS}/lib NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
  endif()
  find_path(LUMORA_${name}_INCLUDE ${ARG_HEADER} PATH_SUFFIXES ${ARG_PATH_SUFFIXES} ${where})
  find_library(LUMORA_${name}_LIBRARY NAMES ${ARG_NAMES} NAMES_PER_DIR ${where_lib})
  if(NOT LUMORA_${name}_INCLUDE OR NOT LUMORA_${name}_LIBRARY)
    message(FATAL_ERROR "Library ${name} not found (header ${ARG_HEADER}, names ${ARG_NAMES}). "
                        "Run ./dev setup to install the dependencies.")
  endif()
  # A library target (not an interface carrying a file path): CMake then
  # knows that, say, libpng needs zlib and puts zlib after it on the link
  # line, which static archives require.
  add_library(lumora::${name} UNKNOWN IMPORTED GLOBAL)
  set_target_properties(lumora::${name} PROPERTIES IMPORTED_LOCATION ${LUMORA_${name}_LIBRARY})
  target_include_directories(lumora::${name} SYSTEM INTERFACE ${LUMORA_${name}_INCLUDE})
  if(ARG_LIBS)
    target_link_libraries(lumora::${name} INTERFACE ${ARG_LIBS})
  endif()
  if(ARG_DEFINES)
    target_compile_definitions(lumora::${name} INTERFACE ${ARG_DEFINES})
  endif()
endfunction()

set(lumora_dependencies zlib png jpeg openjp2 lcms2 raw)

if(WIN32)
  if(NOT LUMORA_WIN_DEPS OR NOT EXISTS ${LUMORA_WIN_DEPS}/lumora-win-deps.txt)
    message(FATAL_ERROR "LUMORA_WIN_DEPS must name the prefix built by scripts/win-deps.sh "
                        "(configure with -DLUMORA_WIN_DEPS=$(scripts/win-deps.sh --print-prefix))")
  endif()
  # A new prefix (new library versions or a changed build script) must not
  # keep the paths found in the old one.
  if(NOT "${LUMORA_WIN_DEPS}" STREQUAL "${LUMORA_WIN_DEPS_FOUND_IN}")
    foreach(dep IN LISTS lumora_dependencies)
      unset(LUMORA_${dep}_INCLUDE CACHE)
      unset(LUMORA_${dep}_LIBRARY CACHE)
    endforeach()
    set(LUMORA_WIN_DEPS_FOUND_IN "${LUMORA_WIN_DEPS}" CACHE INTERNAL "")
  endif()
  lumora_import(zlib    HEADER zlib.h       NAMES z)
  lumora_import(png     HEADER png.h        NAMES png16 LIBS lumora::zlib)
  lumora_import(jpeg    HEADER jpeglib.h    NAMES jpeg)
  # Static use: without OPJ_STATIC the header declares dllimport functions.
  lumora_import(openjp2 HEADER openjpeg.h   NAMES openjp2 PATH_SUFFIXES openjpeg-2.5
                DEFINES OPJ_STATIC)
  lumora_import(lcms2   HEADER lcms2.h      NAMES lcms2)
  # The reentrant build (see win-deps.sh). The two LIBRAW_WIN32_ macros
  # shape the data-stream classes; libraw.h would derive them only when it
  # comes first, so they are fixed here as in the library's build. On
  # Windows the LibRaw headers include <winsock2.h> (and <windows.h>):
  # include them from .cpp files only. The library calls htonl from ws2_32.
  lumora_import(raw     HEADER libraw/libraw.h NAMES raw_r
                DEFINES LIBRAW_NODLL LIBRAW_WIN32_CALLS LIBRAW_WIN32_UNICODEPATHS
                LIBS lumora::jpeg lumora::lcms2 ws2_32)
else()
  lumora_import(zlib    HEADER zlib.h       NAMES z)
  lumora_import(png     HEADER png.h        NAMES png16 png LIBS lumora::zlib)
  lumora_import(jpeg    HEADER jpeglib.h    NAMES jpeg)
  lumora_import(openjp2 HEADER openjpeg.h   NAMES openjp2 PATH_SUFFIXES openjpeg-2.5)
  lumora_import(lcms2   HEADER lcms2.h      NAMES lcms2)
  # Debian's shared libraw_r brings its own dependencies (libjpeg, lcms2, OpenMP).
  lumora_import(raw     HEADER libraw/libraw.h NAMES raw_r)
endif()
