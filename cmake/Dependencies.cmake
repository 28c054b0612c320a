# Third-party libraries as imported targets lumora::<name>.
# Natively they are Debian's -dev packages; for Windows they are the static
# libraries that scripts/win-deps.sh cross-builds into LUMORA_WIN_DEPS.

function(lumora_import name)
  cmake_parse_arguments(ARG "" "HEADER" "NAMES;DEFINES;EXTRA_LIBS;PATH_SUFFIXES" ${ARGN})
  find_path(LUMORA_${name}_INCLUDE ${ARG_HEADER} PATH_SUFFIXES ${ARG_PATH_SUFFIXES})
  find_library(LUMORA_${name}_LIBRARY NAMES ${ARG_NAMES})
  if(NOT LUMORA_${name}_INCLUDE OR NOT LUMORA_${name}_LIBRARY)
    message(FATAL_ERROR "Library ${name} not found (header ${ARG_HEADER}, names ${ARG_NAMES}). "
                        "Run ./dev setup to install the dependencies.")
  endif()
  add_library(lumora::${name} INTERFACE IMPORTED GLOBAL)
  target_include_directories(lumora::${name} SYSTEM INTERFACE ${LUMORA_${name}_INCLUDE})
  target_link_libraries(lumora::${name} INTERFACE ${LUMORA_${name}_LIBRARY} ${ARG_EXTRA_LIBS})
  if(ARG_DEFINES)
    target_compile_definitions(lumora::${name} INTERFACE ${ARG_DEFINES})
  endif()
endfunction()

if(WIN32)
  if(NOT LUMORA_WIN_DEPS)
    message(FATAL_ERROR "LUMORA_WIN_DEPS must name the cross-built library prefix")
  endif()
  list(PREPEND CMAKE_PREFIX_PATH ${LUMORA_WIN_DEPS})
  set(CMAKE_FIND_LIBRARY_SUFFIXES .a)
  lumora_import(zlib    HEADER zlib.h       NAMES z zlib zlibstatic)
  lumora_import(png     HEADER png.h        NAMES png16 png16_static png)
  lumora_import(jpeg    HEADER jpeglib.h    NAMES jpeg)
  lumora_import(openjp2 HEADER openjpeg.h   NAMES openjp2 PATH_SUFFIXES openjpeg-2.5 openjpeg-2.4
                DEFINES OPJ_STATIC)
  lumora_import(lcms2   HEADER lcms2.h      NAMES lcms2)
  lumora_import(raw     HEADER libraw/libraw.h NAMES raw raw_r
                DEFINES LIBRAW_NODLL LIBRAW_NO_WINSOCK2 EXTRA_LIBS ws2_32)
else()
  lumora_import(zlib    HEADER zlib.h       NAMES z)
  lumora_import(png     HEADER png.h        NAMES png16 png)
  lumora_import(jpeg    HEADER jpeglib.h    NAMES jpeg)
  lumora_import(openjp2 HEADER openjpeg.h   NAMES openjp2 PATH_SUFFIXES openjpeg-2.5 openjpeg-2.4)
  lumora_import(lcms2   HEADER lcms2.h      NAMES lcms2)
  lumora_import(raw     HEADER libraw/libraw.h NAMES raw_r raw)
endif()
target_link_libraries(lumora::png INTERFACE lumora::zlib)
