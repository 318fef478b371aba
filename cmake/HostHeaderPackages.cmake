# Header-only packages taken from the host: nlohmann-json, CLI11 and stb's PNG writer.
# A native build finds them as usual. A cross build searches only the target's sysroot, so each
# package gets an imported INTERFACE target whose include folder holds a link to that package's
# folder in /usr/include and nothing else: the host's other headers stay out of reach.
# Include it in each folder that links them (find_package's targets are the folder's own).

set(PROJECT_HOST_INCLUDE_DIR /usr/include CACHE PATH "Where the host's header-only packages live")

# project_host_header_package(<target> <folder>): <target> adds <folder>'s parent to the include path.
function(project_host_header_package target folder)
  if(TARGET ${target})
    return()
  endif()
  set(source ${PROJECT_HOST_INCLUDE_DIR}/${folder})
  if(NOT IS_DIRECTORY ${source})
    message(FATAL_ERROR "${source} is missing; scripts/setup.sh installs the header-only packages")
  endif()
  set(staging ${PROJECT_BINARY_DIR}/host-headers/${folder})
  file(MAKE_DIRECTORY ${staging})
  file(CREATE_LINK ${source} ${staging}/${folder} SYMBOLIC)
  add_library(${target} INTERFACE IMPORTED GLOBAL)
  set_target_properties(${target} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${staging}
                                             INTERFACE_SYSTEM_INCLUDE_DIRECTORIES ${staging})
endfunction()

if(CMAKE_CROSSCOMPILING)
  project_host_header_package(nlohmann_json::nlohmann_json nlohmann)
  project_host_header_package(CLI11::CLI11 CLI)
  project_host_header_package(project_stb stb)
else()
  if(NOT TARGET nlohmann_json::nlohmann_json)
    find_package(nlohmann_json 3 REQUIRED)
  endif()
  if(NOT TARGET CLI11::CLI11)
    find_package(CLI11 REQUIRED)
  endif()
  # Debian's libstb-dev ships no CMake package; its headers sit in <stb/...>.
  find_path(PROJECT_STB_INCLUDE_DIR stb/stb_image_write.h REQUIRED)
  if(NOT TARGET project_stb)
    add_library(project_stb INTERFACE IMPORTED GLOBAL)
    if(NOT PROJECT_STB_INCLUDE_DIR STREQUAL "/usr/include")
      set_target_properties(project_stb PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${PROJECT_STB_INCLUDE_DIR})
    endif()
  endif()
endif()
