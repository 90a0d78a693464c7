# The same commit gives the same bytes, wherever and whenever it is built:
# - one time for everything that would take the clock's: SOURCE_DATE_EPOCH from the environment,
#   else the last commit's time; it dates the manual pages, the Qt resources and the packages'
#   members (cmake/StagedFiles.cmake; cmake/SortedZip.cmake writes the Windows archive again in
#   name order, without user ids), and custom commands run with it in their environment;
# - no build folder in the programs: paths under the source and the build folder are written
#   relative to them (-ffile-prefix-map); __DATE__ and __TIME__ are warned about (-Wdate-time);
# - no link time in the Windows programs' PE header (--no-insert-timestamp);
# - folders that the installation makes are 755 whatever the umask.

set(CMAKE_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

if(DEFINED ENV{SOURCE_DATE_EPOCH} AND NOT "$ENV{SOURCE_DATE_EPOCH}" STREQUAL "")
  set(FLASHWELL_SOURCE_DATE_EPOCH $ENV{SOURCE_DATE_EPOCH})
else()
  find_package(Git QUIET)
  if(GIT_FOUND)
    execute_process(
      COMMAND ${GIT_EXECUTABLE} log -1 --format=%ct
      WORKING_DIRECTORY ${PROJECT_SOURCE_DIR}
      OUTPUT_VARIABLE FLASHWELL_SOURCE_DATE_EPOCH
      OUTPUT_STRIP_TRAILING_WHITESPACE
      ERROR_QUIET)
  endif()
endif()
if(NOT FLASHWELL_SOURCE_DATE_EPOCH MATCHES "^[0-9]+$")
  message(STATUS "No SOURCE_DATE_EPOCH and no commit: this build carries its own time")
  set(FLASHWELL_SOURCE_DATE_EPOCH "")
else()
  # For what the configuration itself writes (string(TIMESTAMP) honours it).
  set(ENV{SOURCE_DATE_EPOCH} ${FLASHWELL_SOURCE_DATE_EPOCH})
  # For what the build runs: rcc, help2man, the drawing program.
  set_property(GLOBAL PROPERTY RULE_LAUNCH_CUSTOM
               "${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=${FLASHWELL_SOURCE_DATE_EPOCH}")
endif()

# The sanitizer builds are for this machine only; their flags stay as they are.
if(FLASHWELL_SANITIZE)
  return()
endif()
# The later map wins for a build folder inside the source tree.
add_compile_options(-ffile-prefix-map=${PROJECT_SOURCE_DIR}=.
                    -ffile-prefix-map=${PROJECT_BINARY_DIR}=build)
if(WIN32)
  add_link_options(-Wl,--no-insert-timestamp)
endif()

