# The protections that Debian's dpkg-buildflags gives its own programs (hardening=+all), on by
# default in every build that is not a sanitizer build: stack protector and stack clash
# protection, control-flow protection on x86, _FORTIFY_SOURCE=2 where the compiler optimises
# (the checked functions need the optimiser to know the sizes), read-only relocations bound at
# start; programs are position-independent as the compiler makes them. The sanitizer builds (dev, tsan, fuzz) leave it out:
# the sanitizers watch the stack and the memory themselves, and the checked functions would hide
# overflows from AddressSanitizer.
#
# The Windows programs keep ASLR and DEP (DYNAMIC_BASE, NX_COMPAT) and get the stack protector;
# MinGW's libssp is linked in statically, so they still import system DLLs only.

option(FLASHWELL_HARDEN "Build with the platform's hardening flags (not with sanitizers)" ON)
if(NOT FLASHWELL_HARDEN OR FLASHWELL_SANITIZE)
  return()
endif()

set(_optimised $<CONFIG:Release,RelWithDebInfo,MinSizeRel>)
add_compile_options(-fstack-protector-strong)
# The linker driver adds the protector's library when it sees the flag (MinGW: libssp).
add_link_options(-fstack-protector-strong)

if(WIN32)
  add_link_options(-Wl,--dynamicbase -Wl,--nxcompat)
  return()
endif()

add_compile_options(
  -fstack-clash-protection -Wformat -Werror=format-security -Wdate-time
  # A compiler that defines its own level (3 on some systems) is brought to this one.
  "$<${_optimised}:-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE=2>")
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64|i.86)$")
  add_compile_options(-fcf-protection)
endif()
add_link_options(-Wl,-z,relro -Wl,-z,now)
# PIE is the compiler's default here, as dpkg-buildflags assumes; CMake's own -fPIE would clash
# with Qt, which wants -fPIC in the code that uses it (scripts/test.d/60-release checks the
# programs with hardening-check).
