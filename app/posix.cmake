# The POSIX platform seams of the Linux programs: the locale as an LCID and the
# single-instance guard, the signals that stop a run.
flashwell_library(flashwell_posix
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/posix_locale.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix_instance.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix_signals.cpp
  DEPS
    flashwell_catalogue
)

# Sleep and shutdown held off during the upgrade, through logind on the system bus (sd-bus).
find_package(PkgConfig REQUIRED)
pkg_check_modules(LIBSYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
flashwell_library(flashwell_logind
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/logind_keep_awake.cpp
  DEPS
    flashwell_dialog
    PkgConfig::LIBSYSTEMD
)
