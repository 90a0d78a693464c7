# What a release gives its users, built by CPack from this build tree:
#   Linux:   cpack -G DEB  -> flashwell_<version>-<release>_<arch>.deb with the desktop programs,
#            flashwell-cli and flashwell-pack, their manual pages, the udev rule, the desktop
#            entries and icons (packaging/CMakeLists.txt), the copyright file and the changelog;
#   Windows: cpack -G ZIP  -> flashwell-<version>-win32.zip with the two programs, README.txt,
#            LICENSE.txt and NOTICES.txt.
# The version is the project's, and nothing else names it.

include(GNUInstallDirs)

set(FLASHWELL_MAINTAINER "Flashwell developers <flashwell@example.org>")
set(FLASHWELL_COPYRIGHT "2026 the Flashwell developers")
set(_packaging ${PROJECT_SOURCE_DIR}/packaging)

set(CPACK_PACKAGE_NAME flashwell)
set(CPACK_PACKAGE_VENDOR "the Flashwell developers")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "${PROJECT_DESCRIPTION}")
set(CPACK_PACKAGE_CONTACT "${FLASHWELL_MAINTAINER}")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
# The same bytes from the same commit (cmake/Reproducible.cmake): the staged files are dated
# and their permissions set before they are packed.
set(CPACK_FLASHWELL_SOURCE_DATE_EPOCH ${FLASHWELL_SOURCE_DATE_EPOCH})
set(_staged_files ${PROJECT_SOURCE_DIR}/cmake/StagedFiles.cmake)

# --- Windows: the release archive ---------------------------------------------------------------
if(WIN32)
  if(NOT TARGET flashwell OR NOT TARGET flashwell-demo)
    return()
  endif()
  install(TARGETS flashwell flashwell-demo RUNTIME DESTINATION .)
  # Windows line ends, for the editors that still want them.
  configure_file(${_packaging}/windows/README.txt.in ${CMAKE_BINARY_DIR}/packaging/README.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${PROJECT_SOURCE_DIR}/LICENSE ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
                 @ONLY NEWLINE_STYLE CRLF)
  configure_file(${_packaging}/windows/NOTICES.txt ${CMAKE_BINARY_DIR}/packaging/NOTICES.txt
                 @ONLY NEWLINE_STYLE CRLF)
  install(FILES ${CMAKE_BINARY_DIR}/packaging/README.txt ${CMAKE_BINARY_DIR}/packaging/LICENSE.txt
                ${CMAKE_BINARY_DIR}/packaging/NOTICES.txt
          DESTINATION .)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_PACKAGE_FILE_NAME flashwell-${PROJECT_VERSION}-win32)
  set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY ON)
  set(CPACK_PRE_BUILD_SCRIPTS ${_staged_files})
  set(CPACK_POST_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/SortedZip.cmake)
  include(CPack)
  return()
endif()

# --- Linux: the .deb ----------------------------------------------------------------------------
# It is the desktop package: without the Qt program there is nothing to package.
if(NOT TARGET flashwell OR NOT TARGET flashwell-demo OR NOT TARGET flashwell-cli)
  return()
endif()

set(_man ${CMAKE_BINARY_DIR}/packaging/man)
set(_doc ${CMAKE_BINARY_DIR}/packaging/doc)
file(MAKE_DIRECTORY ${_man} ${_doc})
set(_compressed)

# Manual pages. The window programs' page is written by hand; the command-line programs' are made
# from their --help by help2man, so that they cannot drift from the options.
string(TIMESTAMP FLASHWELL_MAN_DATE "%Y-%m-%d" UTC)
configure_file(${_packaging}/man/flashwell.1.in ${_man}/flashwell.1 @ONLY)
configure_file(${_packaging}/man/flashwell-demo.1 ${_man}/flashwell-demo.1 COPYONLY)
set(_pages ${_man}/flashwell.1 ${_man}/flashwell-demo.1)

set(_tools flashwell-cli)
if(TARGET flashwell-pack)
  list(APPEND _tools flashwell-pack)
endif()
install(TARGETS ${_tools} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

find_program(FLASHWELL_HELP2MAN help2man)
if(FLASHWELL_HELP2MAN)
  set(_flashwell-cli_name "load new firmware onto a MEMPOD key from the command line")
  set(_flashwell-pack_name "build, inspect and export Flashwell firmware packages")
  # flashwell-cli's page takes its --version, which names the carried package's SHA-256;
  # flashwell-pack has no --version, so its page is given the version.
  set(_flashwell-pack_version --version-string=${PROJECT_VERSION})
  foreach(_program IN LISTS _tools)
    # --no-discard-stderr: the page does not depend on which stream the help goes to. The date
    # is SOURCE_DATE_EPOCH's (cmake/Reproducible.cmake).
    add_custom_command(
      OUTPUT ${_man}/${_program}.1
      COMMAND ${CMAKE_COMMAND} -E env LC_ALL=C.UTF-8 COLUMNS=80
              ${FLASHWELL_HELP2MAN} --no-info --no-discard-stderr --section=1
              ${_${_program}_version} "--source=Flashwell ${PROJECT_VERSION}"
              "--name=${_${_program}_name}" --include=${_packaging}/man/${_program}.h2m
              --output=${_man}/${_program}.1 $<TARGET_FILE:${_program}>
      DEPENDS ${_program} ${_packaging}/man/${_program}.h2m
      COMMENT "Writing the manual page of ${_program}"
      VERBATIM)
    list(APPEND _pages ${_man}/${_program}.1)
  endforeach()
else()
  message(STATUS "help2man not found: no manual pages for ${_tools}")
endif()

# The copyright file in Debian's machine-readable form, its licence text taken from LICENSE.
file(READ ${PROJECT_SOURCE_DIR}/LICENSE _license)
string(REGEX REPLACE "^.*Copyright[^\n]*\n\n" "" _license "${_license}")
string(REGEX REPLACE "\n+$" "" _license "${_license}")
string(REPLACE "\n\n" "\n.\n" _license "${_license}")
string(REPLACE "\n" "\n " FLASHWELL_LICENSE_TEXT " ${_license}")
configure_file(${_packaging}/debian/copyright.in ${_doc}/copyright @ONLY)

# The changelog's newest entry must be this version's, or the package would contradict itself.
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
file(STRINGS ${_packaging}/debian/changelog _newest LIMIT_COUNT 1)
if(NOT _newest MATCHES "^flashwell \\(${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}\\) ")
  message(WARNING "packaging/debian/changelog does not begin with version "
                  "${PROJECT_VERSION}-${CPACK_DEBIAN_PACKAGE_RELEASE}: add an entry")
endif()
configure_file(${_packaging}/debian/changelog ${_doc}/changelog.Debian COPYONLY)

# Debian wants the pages and the changelog compressed, without a name or time in the header.
foreach(_file IN LISTS _pages ITEMS ${_doc}/changelog.Debian)
  add_custom_command(
    OUTPUT ${_file}.gz
    COMMAND gzip -9nkf ${_file}
    DEPENDS ${_file}
    VERBATIM)
  list(APPEND _compressed ${_file}.gz)
endforeach()
add_custom_target(flashwell_package_documents ALL DEPENDS ${_compressed})

list(TRANSFORM _pages APPEND .gz)
install(FILES ${_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${_doc}/copyright ${_doc}/changelog.Debian.gz
        DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/flashwell)
install(FILES ${_packaging}/debian/lintian-overrides
        DESTINATION ${CMAKE_INSTALL_DATADIR}/lintian/overrides RENAME flashwell)

# One string, never a CMake list: a ';' would show in the package's description.
set(CPACK_PACKAGE_DESCRIPTION [=[Flashwell carries a firmware package for the MEMPOD, the USB memory key of
the LAPSTER4 data logger, and loads it onto the key: the key's own firmware
and the components that the key later passes on to the logger.

The package holds the window program (flashwell), the same program on a
virtual key for trying it without hardware (flashwell-demo), the same upgrade
without a window for scripts (flashwell-cli), a tool that inspects and builds
firmware packages (flashwell-pack), and a udev rule that gives the user
logged in at the seat access to the key.]=])
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries' packages are found by dpkg-shlibdeps from the programs themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-translations-l10n")  # Qt's buttons in the user's language
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-qpa-plugins, systemd | udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA ${_packaging}/debian/postinst)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_FLASHWELL_STRIP ${CMAKE_STRIP})
set(CPACK_PRE_BUILD_SCRIPTS ${_packaging}/debian/strip_sections.cmake ${_staged_files})
include(CPack)
