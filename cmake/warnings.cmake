# Every target of the project compiles with the same strict warnings, as errors.
add_library(ombrelin_warnings INTERFACE)
target_compile_options(ombrelin_warnings INTERFACE
  -Wall -Wextra -Wpedantic -Werror
  -Wconversion -Wsign-conversion -Wshadow -Wnon-virtual-dtor
  -Wold-style-cast -Wcast-align -Woverloaded-virtual
  -Wimplicit-fallthrough -Wformat=2
  # GCC 12 reports false -Wrestrict overlaps inside std::string concatenation.
  $<$<AND:$<CXX_COMPILER_ID:GNU>,$<VERSION_LESS:$<CXX_COMPILER_VERSION>,13>>:-Wno-restrict>)

# Adds a GoogleTest executable of the given sources, linked to the given libraries.
function(ombrelin_add_test name)
  if(NOT OMBRELIN_BUILD_TESTS OR WIN32)
    return()
  endif()
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBRARIES" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBRARIES} GTest::gtest GTest::gtest_main ombrelin_warnings)
  set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 30)
endfunction()
