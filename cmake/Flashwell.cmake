# Project-wide helpers: warnings on our own targets, as errors where FLASHWELL_WERROR asks for
# it (the presets and CI do; a plain build does not, so that a compiler's new or false warning
# does not stop someone who only builds the source).

function(flashwell_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
  if(FLASHWELL_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# flashwell_library(NAME SOURCES... [DEPS ...]) : a static library of one layer.
function(flashwell_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PUBLIC ${ARG_DEPS})
  endif()
  flashwell_warnings(${name})
endfunction()

# flashwell_program(NAME SOURCES... [DEPS ...]) : an executable of ours.
function(flashwell_program name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR})
  if(ARG_DEPS)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS})
  endif()
  flashwell_warnings(${name})
endfunction()
