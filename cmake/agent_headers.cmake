# Each library of the agent owns one folder of platform/windows/agent/src and
# hands out that folder's headers only: a library sees its own headers and those
# of the libraries it links, and nothing else, so a dependency that is not
# declared is a compile error instead of a silent back edge. The headers keep
# their "folder/file.h" spelling through a folder of links in the build tree.
function(ombrelin_export_headers target)
  set(root "${CMAKE_BINARY_DIR}/exported-headers/${target}")
  foreach(folder IN LISTS ARGN)
    get_filename_component(parent "${root}/${folder}" DIRECTORY)
    file(MAKE_DIRECTORY "${parent}")
    file(CREATE_LINK "${OMBRELIN_AGENT_SOURCE_ROOT}/${folder}" "${root}/${folder}" SYMBOLIC)
  endforeach()
  get_target_property(type ${target} TYPE)
  if(type STREQUAL "INTERFACE_LIBRARY")
    target_include_directories(${target} INTERFACE "${root}")
  else()
    target_include_directories(${target} PUBLIC "${root}")
  endif()
endfunction()
