# Project-wide helpers: warnings on our own targets, as errors where FLASHWELL_WERROR asks for
# it (the presets and CI do; a plain build does not, so that a compiler's new or false warning
# does not stop someone who only builds the source).

function(flashwell_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(FLASHWELL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# flashwell_include_scope(TARGET PUBLIC|INTERFACE PATH...) : the include root of TARGET shows
# only the given folders or files of the source tree (each linked in under its own path), so an
# `#include "layer/file.h"` resolves only for the layers that TARGET and what it links show.
# A folder is shown without those of its subfolders that build a library of their own (the USB
# backends under usb/, the shells under app/): a layer sees a backend only by linking it.
# A layer that includes a layer above it, or one it does not link, fails to build.
function(flashwell_include_scope target kind)
  set(_root ${PROJECT_BINARY_DIR}/include-scopes/${target})
  # Made afresh on every configure (links only, never what they point to), so that no link of
  # an older layout is left over.
  file(REMOVE_RECURSE ${_root})
  foreach(_path IN LISTS ARGN)
    set(_source ${PROJECT_SOURCE_DIR}/${_path})
    set(_shown ${_path})
    if(IS_DIRECTORY ${_source})
      file(GLOB _children CONFIGURE_DEPENDS RELATIVE ${PROJECT_SOURCE_DIR} ${_source}/*)
      set(_shown "")
      foreach(_child IN LISTS _children)
        if(NOT EXISTS ${PROJECT_SOURCE_DIR}/${_child}/CMakeLists.txt)
          list(APPEND _shown ${_child})
        endif()
      endforeach()
    endif()
    foreach(_item IN LISTS _shown)
      get_filename_component(_parent ${_root}/${_item} DIRECTORY)
      file(MAKE_DIRECTORY ${_parent})
      file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${_item} ${_root}/${_item} SYMBOLIC)
    endforeach()
  endforeach()
  target_include_directories(${target} ${kind} ${_root})
endfunction()

# flashwell_library(NAME SOURCES... [DEPS ...]) : a static library of one layer. It sees its own
# folder and, through DEPS, the folders of the libraries it links, nothing else.
function(flashwell_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  file(RELATIVE_PATH _folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  flashwell_include_scope(${name} PUBLIC ${_folder})
  target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  flashwell_warnings(${name})
endfunction()

# flashwell_program(NAME SOURCES... [DEPS ...]) : an executable of ours.
function(flashwell_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  flashwell_warnings(${name})
endfunction()
