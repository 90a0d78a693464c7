# Run by CPack on the staged files just before it packs them, for both the .deb and the Windows
# archive: every file and folder dated SOURCE_DATE_EPOCH and its permissions made from its
# execute bit alone (755 or 644), so that neither the time of the build nor the umask of the
# one who built it reaches the package. CPack itself dates the .deb's own members from the
# same variable.
if(NOT CPACK_FLASHWELL_SOURCE_DATE_EPOCH)
  return()
endif()
set(ENV{SOURCE_DATE_EPOCH} ${CPACK_FLASHWELL_SOURCE_DATE_EPOCH})
foreach(_command IN ITEMS "chmod;-R;u=rwX,go=rX;." "find;.;-exec;touch;-h;-d;@${CPACK_FLASHWELL_SOURCE_DATE_EPOCH};{};+")
  execute_process(COMMAND ${_command} WORKING_DIRECTORY ${CPACK_TEMPORARY_INSTALL_DIRECTORY}
                  RESULT_VARIABLE _result)
  if(NOT _result EQUAL 0)
    message(FATAL_ERROR "${_command} failed on the staged files")
  endif()
endforeach()
