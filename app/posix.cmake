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
