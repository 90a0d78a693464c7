# Run by CPack on the staged files before it builds the .deb: CPack's own strip leaves the
# compiler's .comment and .note sections in the programs, which Debian's strip removes.
file(GLOB _programs "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(_program IN LISTS _programs)
  execute_process(
    COMMAND ${CPACK_FLASHWELL_STRIP} --remove-section=.comment --remove-section=.note ${_program}
    RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "strip failed on ${_program}")
  endif()
endforeach()
