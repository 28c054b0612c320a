# GoogleTest: built from Debian's sources (/usr/src/googletest) in every tree,
# so the native, sanitizer and Windows builds all get a matching copy.
if(LUMORA_TESTS AND NOT LUMORA_FUZZ)
  enable_testing()
  set(LUMORA_GTEST_SRC /usr/src/googletest CACHE PATH "GoogleTest sources")
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${LUMORA_GTEST_SRC} ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL SYSTEM)
endif()

# lumora_add_test(NAME SOURCES ... LIBS ... [LABELS ...])
# One executable per test group; ctest runs it whole (under Wine in the
# Windows tree, through CMAKE_CROSSCOMPILING_EMULATOR).
function(lumora_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  target_include_directories(${name} PRIVATE ${LUMORA_ROOT}/tests/support)
  target_compile_definitions(${name} PRIVATE
    LUMORA_CORPUS_DIR="${LUMORA_CORPUS_DIR}"
    LUMORA_TEST_DATA_DIR="${LUMORA_TEST_DATA_DIR}")
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  set_tests_properties(${name} PROPERTIES TIMEOUT 900)
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
