# Release builds keep only what the programs use: every function and datum in its own section,
# and the linker drops the sections that nothing reaches. -O2 rather than CMake's -O3: the
# simulated-upgrade benchmark (flashwell-bench) runs no slower, and the programs are smaller.

foreach(_lang C CXX)
  string(REPLACE "-O3" "-O2" CMAKE_${_lang}_FLAGS_RELEASE "${CMAKE_${_lang}_FLAGS_RELEASE}")
endforeach()
add_compile_options("$<$<CONFIG:Release,MinSizeRel>:-ffunction-sections;-fdata-sections>")
add_link_options($<$<CONFIG:Release,MinSizeRel>:LINKER:--gc-sections>)
