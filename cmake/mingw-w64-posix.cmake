# CMake toolchain file: cross-compile for Windows x86_64 with Debian's
# mingw-w64 toolchain, posix thread model (std::thread, std::mutex, ...).
#
#   cmake -S . -B build/windows \
#         -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake \
#         [-DOMBRELIN_WINDOWS_DEPS=/path/to/windows-deps/prefix]
#
# OMBRELIN_WINDOWS_DEPS (cache variable, or environment variable of the same
# name) is the prefix holding the static Windows builds of libsodium and
# simdjson made by scripts/build-windows-deps.sh; it defaults to
# <repo>/build/windows-deps/prefix. It is searched for headers, libraries and
# packages; programs (code generators, interpreters) always come from the host.
#
# Executables are linked with -static: libgcc, libstdc++ and winpthread are
# linked in, so the .exe imports only Windows system DLLs.

set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(_ombrelin_triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${_ombrelin_triple}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_ombrelin_triple}-g++-posix)
set(CMAKE_RC_COMPILER ${_ombrelin_triple}-windres)
# CMake cannot derive the binutils prefix from a "-posix" compiler name.
find_program(CMAKE_AR NAMES ${_ombrelin_triple}-ar REQUIRED)
find_program(CMAKE_RANLIB NAMES ${_ombrelin_triple}-ranlib REQUIRED)
find_program(CMAKE_NM NAMES ${_ombrelin_triple}-nm)
find_program(CMAKE_OBJDUMP NAMES ${_ombrelin_triple}-objdump)
find_program(CMAKE_STRIP NAMES ${_ombrelin_triple}-strip)

# Where the Windows dependencies live.
if(NOT DEFINED OMBRELIN_WINDOWS_DEPS)
  if(DEFINED ENV{OMBRELIN_WINDOWS_DEPS})
    set(_ombrelin_deps "$ENV{OMBRELIN_WINDOWS_DEPS}")
  else()
    get_filename_component(_ombrelin_deps
      "${CMAKE_CURRENT_LIST_DIR}/../build/windows-deps/prefix" ABSOLUTE)
  endif()
  set(OMBRELIN_WINDOWS_DEPS "${_ombrelin_deps}" CACHE PATH
    "Prefix with the Windows static builds of libsodium and simdjson")
endif()
# try_compile() projects re-read this file: hand them the same value.
list(APPEND CMAKE_TRY_COMPILE_PLATFORM_VARIABLES OMBRELIN_WINDOWS_DEPS)

# Search the mingw sysroot and the dependency prefix for target files only.
list(APPEND CMAKE_FIND_ROOT_PATH "/usr/${_ombrelin_triple}" "${OMBRELIN_WINDOWS_DEPS}")
list(APPEND CMAKE_PREFIX_PATH "${OMBRELIN_WINDOWS_DEPS}")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# pkg-config must not hand out the host's (Linux) flags.
set(ENV{PKG_CONFIG_LIBDIR} "${OMBRELIN_WINDOWS_DEPS}/lib/pkgconfig")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

# 64-bit Windows only guarantees 16-byte stack alignment and GCC cannot
# realign the stack there; a 32/64-byte aligned move (vmovdqa/vmovaps) of a
# spilled AVX/AVX-512 value would then fault. GCC 12 already spills with
# unaligned moves; this assembler option makes sure no aligned vector move
# is left (simdjson picks AVX2/AVX-512 kernels at run time).
set(CMAKE_C_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")
set(CMAKE_CXX_FLAGS_INIT "-Wa,-muse-unaligned-vector-move")

# One self-contained .exe: no libgcc_s/libstdc++/libwinpthread DLLs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++")

# Reproducible output: the same sources give the same bytes in any folder, at
# any time. The PE header gets no link time, paths under the source tree are
# written relative to it (assertion texts, debug information), and archives
# carry no timestamps or owners.
get_filename_component(_ombrelin_root "${CMAKE_CURRENT_LIST_DIR}/.." ABSOLUTE)
string(APPEND CMAKE_C_FLAGS_INIT " -ffile-prefix-map=${_ombrelin_root}=.")
string(APPEND CMAKE_CXX_FLAGS_INIT " -ffile-prefix-map=${_ombrelin_root}=.")
string(APPEND CMAKE_EXE_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
string(APPEND CMAKE_SHARED_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
string(APPEND CMAKE_MODULE_LINKER_FLAGS_INIT " -Wl,--no-insert-timestamp")
foreach(_ombrelin_lang C CXX)
  set(CMAKE_${_ombrelin_lang}_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${_ombrelin_lang}_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
  set(CMAKE_${_ombrelin_lang}_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")
endforeach()
