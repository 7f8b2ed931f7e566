# libsodium and simdjson: Debian's packages on Linux; on Windows the static
# libraries that scripts/build-windows-deps.sh built from Debian's sources.
if(WIN32)
  set(OMBRELIN_WINDOWS_DEPS "${CMAKE_SOURCE_DIR}/build/windows-deps/prefix"
      CACHE PATH "Prefix holding the cross-built libsodium and simdjson")
  find_library(SODIUM_LIBRARY NAMES libsodium.a PATHS ${OMBRELIN_WINDOWS_DEPS}/lib REQUIRED NO_DEFAULT_PATH)
  find_library(SIMDJSON_LIBRARY NAMES libsimdjson.a PATHS ${OMBRELIN_WINDOWS_DEPS}/lib REQUIRED NO_DEFAULT_PATH)
  add_library(ombrelin::sodium STATIC IMPORTED)
  set_target_properties(ombrelin::sodium PROPERTIES
    IMPORTED_LOCATION ${SODIUM_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${OMBRELIN_WINDOWS_DEPS}/include
    INTERFACE_COMPILE_DEFINITIONS SODIUM_STATIC
    INTERFACE_LINK_LIBRARIES "advapi32;bcrypt")
  add_library(ombrelin::simdjson STATIC IMPORTED)
  set_target_properties(ombrelin::simdjson PROPERTIES
    IMPORTED_LOCATION ${SIMDJSON_LIBRARY}
    INTERFACE_INCLUDE_DIRECTORIES ${OMBRELIN_WINDOWS_DEPS}/include
    INTERFACE_COMPILE_DEFINITIONS SIMDJSON_EXCEPTIONS=0)
else()
  find_package(PkgConfig REQUIRED)
  pkg_check_modules(SODIUM REQUIRED IMPORTED_TARGET libsodium)
  find_package(simdjson REQUIRED)
  add_library(ombrelin::sodium ALIAS PkgConfig::SODIUM)
  add_library(ombrelin::simdjson ALIAS simdjson::simdjson)
endif()
