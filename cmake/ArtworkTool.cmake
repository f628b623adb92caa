# The artwork tool draws the gauges' bitmaps during the build, so it runs on
# the build machine: it is a small project of its own (tools/artwork), built
# with the build machine's compiler, never for Windows. Drawing the bitmaps
# thus needs no emulator. Sets TARNWIX_ARTWORK, the path of the built tool,
# and TARNWIX_PANEL_BACKGROUND, the program that draws the example panel's background.
include(ExternalProject)

set(TARNWIX_BUILD_CXX g++ CACHE STRING "The build machine's C++ compiler, for the programs the build runs")
find_program(TARNWIX_BUILD_CXX_PATH ${TARNWIX_BUILD_CXX} NO_CMAKE_FIND_ROOT_PATH)
if(NOT TARNWIX_BUILD_CXX_PATH)
  message(FATAL_ERROR "No C++ compiler for the build machine (${TARNWIX_BUILD_CXX}): the artwork tool is built with it. "
                      "Install it (Debian: g++) or name another with -DTARNWIX_BUILD_CXX=...")
endif()
set(artwork_build_dir ${CMAKE_BINARY_DIR}/artwork-tool)
set(TARNWIX_ARTWORK ${artwork_build_dir}/artwork)
set(TARNWIX_PANEL_BACKGROUND ${artwork_build_dir}/panel_background)

ExternalProject_Add(artwork_tool
  SOURCE_DIR ${CMAKE_SOURCE_DIR}/tools/artwork
  PREFIX ${artwork_build_dir}/steps
  BINARY_DIR ${artwork_build_dir}
  CMAKE_ARGS -DCMAKE_CXX_COMPILER=${TARNWIX_BUILD_CXX_PATH} -DCMAKE_BUILD_TYPE=${CMAKE_BUILD_TYPE}
  # Its configuration is shown only when it fails; its compiler's warnings always.
  LOG_CONFIGURE ON
  LOG_OUTPUT_ON_FAILURE ON
  # The tool's own build knows when its sources changed; it does nothing otherwise.
  BUILD_ALWAYS ON
  BUILD_BYPRODUCTS ${TARNWIX_ARTWORK} ${TARNWIX_PANEL_BACKGROUND}
  INSTALL_COMMAND "")
