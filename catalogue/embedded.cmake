# The package that every program carries: flashwell-packgen builds it from data/ at build time
# and embedded_package.cpp includes the bytes. In a cross build the builder has to run on the
# build machine, so it comes from a native build of the host tools; so does the drawing program
# of packaging/artwork.
set(_data ${CMAKE_CURRENT_SOURCE_DIR}/data)
file(GLOB_RECURSE _data_files CONFIGURE_DEPENDS ${_data}/*)
set(_out ${CMAKE_CURRENT_BINARY_DIR}/package)
set(_outputs ${_out}/package.bin ${_out}/locales.bin ${_out}/model-names.bin
             ${_out}/component-names.bin)

if(CMAKE_CROSSCOMPILING)
  include(ExternalProject)
  set(_host ${CMAKE_BINARY_DIR}/host-tools)
  set(_packgen ${_host}/tools/pack/flashwell-packgen)
  ExternalProject_Add(flashwell_host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${_host}
    CMAKE_ARGS -DFLASHWELL_HOST_TOOLS_ONLY=ON -DFLASHWELL_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
    BUILD_COMMAND ${CMAKE_COMMAND} --build <BINARY_DIR> --target flashwell-packgen
                  flashwell-artwork
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    BUILD_BYPRODUCTS ${_packgen} ${_host}/packaging/artwork/flashwell-artwork
  )
  set(_packgen_deps flashwell_host_tools ${_packgen})
else()
  set(_packgen $<TARGET_FILE:flashwell-packgen>)
  set(_packgen_deps flashwell-packgen)
endif()

add_custom_command(
  OUTPUT ${_outputs}
  COMMAND ${_packgen} ${_data}/manifest.json ${_out}
  DEPENDS ${_packgen_deps} ${_data_files}
  COMMENT "Building the firmware package from catalogue/data"
  VERBATIM
)

flashwell_library(flashwell_embedded_package SOURCES embedded_package.cpp ${_outputs})
target_compile_definitions(flashwell_embedded_package PRIVATE FLASHWELL_PACKAGE_DIR="${_out}")
set_source_files_properties(embedded_package.cpp PROPERTIES OBJECT_DEPENDS "${_outputs}")
target_link_libraries(flashwell_embedded_package PUBLIC flashwell_catalogue)
