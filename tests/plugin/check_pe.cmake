# Checks the plugin DLL with objdump: a PE32 DLL that exports exactly the
# three Lister functions and imports nothing but Windows' own DLLs.
#   cmake -DOBJDUMP=<objdump> -DDLL=<lumora.wlx> -P check_pe.cmake
execute_process(COMMAND ${OBJDUMP} -p ${DLL} OUTPUT_VARIABLE dump RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "objdump failed on ${DLL}")
endif()

if(NOT dump MATCHES "Magic[ \t]+010b[ \t]+\\(PE32\\)")
  message(FATAL_ERROR "not a PE32 image")
endif()
string(REGEX MATCH "Characteristics 0x([0-9a-fA-F]+)" _ "${dump}")
math(EXPR is_dll "0x${CMAKE_MATCH_1} & 0x2000")
if(is_dll EQUAL 0)
  message(FATAL_ERROR "not a DLL (characteristics 0x${CMAKE_MATCH_1})")
endif()

# Export names: the lines "[   n] Name" after the name pointer table.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table[^\n]*(\n[ \t]+\\[[^\n]*)*" exports "${dump}")
string(REGEX MATCHALL "\n[ \t]+\\[ *[0-9]+\\] [A-Za-z_@0-9]+" lines "${exports}")
set(names "")
foreach(line IN LISTS lines)
  string(REGEX REPLACE ".*\\] " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
if(NOT names STREQUAL "ListCloseWindow;ListGetDetectString;ListLoad")
  message(FATAL_ERROR "exports are [${names}], expected the three Lister functions")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${dump}")
set(system_dlls advapi32 comctl32 comdlg32 gdi32 kernel32 msimg32 msvcrt ole32 oleaut32 shell32 user32
                version winspool.drv ws2_32 mscms shlwapi uxtheme)
foreach(line IN LISTS imports)
  string(REGEX REPLACE "DLL Name: " "" dll "${line}")
  string(TOLOWER "${dll}" dll)
  string(REGEX REPLACE "\\.dll$" "" base "${dll}")
  list(FIND system_dlls "${base}" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "imports ${dll}, which is not a Windows system DLL")
  endif()
endforeach()
message(STATUS "lumora.wlx: PE32 DLL, exports ${names}")
