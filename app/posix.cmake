# The POSIX platform seams of the Linux programs: the locale as an LCID and the
# single-instance guard.
flashwell_library(flashwell_posix
  SOURCES
    ${CMAKE_CURRENT_LIST_DIR}/posix_locale.cpp
    ${CMAKE_CURRENT_LIST_DIR}/posix_instance.cpp
  DEPS
    flashwell_catalogue
)
