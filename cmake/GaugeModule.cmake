# add_gauge_module(NAME SOURCES ... DESCRIPTION "...")
#
# Builds one gauge module NAME.gau from its sources and the framework, with its
# bitmaps drawn by the artwork tool and a version resource, and copies it into
# the dist folder. A module imports only KERNEL32.dll and msvcrt.dll: no C++
# runtime, no exceptions, no start files; its library entry does nothing.

# No link time in the PE header of any module or program: two builds of one
# commit give the same bytes.
add_link_options(-Wl,--no-insert-timestamp)

set(TARNWIX_MODULE_FLAGS -fno-exceptions -fno-rtti -fno-asynchronous-unwind-tables -fno-threadsafe-statics)
set(TARNWIX_FONT_DIR /usr/share/fonts/truetype/dejavu CACHE PATH "Fonts the artwork is drawn with")

# Compiles and links a library target as every gauge module is built: the
# module flags, a .gau file, no start files and no runtime but msvcrt's. The
# entry point is our own empty DllMain, so nothing runs at load but the loader.
function(build_as_gauge_module target)
  target_include_directories(${target} PRIVATE ${CMAKE_SOURCE_DIR})
  target_compile_options(${target} PRIVATE ${TARNWIX_MODULE_FLAGS} ${TARNWIX_WARNINGS})
  set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX ".gau" TARNWIX_SIMULATOR_CODE ON)
  target_link_options(${target} PRIVATE -nostdlib -nostartfiles -s -Wl,--entry=_DllMain@12 -Wl,--enable-stdcall-fixup
                      -Wl,--no-seh -Wl,--dynamicbase -Wl,--nxcompat)
  target_link_libraries(${target} PRIVATE msvcrt kernel32 gcc)
endfunction()

function(add_gauge_module name)
  cmake_parse_arguments(GAUGE "" "DESCRIPTION" "SOURCES" ${ARGN})
  set(art_dir ${CMAKE_CURRENT_BINARY_DIR}/artwork)
  set(bitmap_script ${art_dir}/bitmaps.rc)
  add_custom_command(
    OUTPUT ${bitmap_script}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${art_dir}
    COMMAND ${TARNWIX_ARTWORK} ${name} ${art_dir} ${TARNWIX_FONT_DIR}
    DEPENDS artwork_tool ${TARNWIX_ARTWORK}
    COMMENT "Drawing the bitmaps of ${name}"
    VERBATIM)
  add_custom_target(${name}_artwork DEPENDS ${bitmap_script})

  set(TARNWIX_GAUGE_NAME ${name})
  set(TARNWIX_GAUGE_DESCRIPTION ${GAUGE_DESCRIPTION})
  configure_file(${CMAKE_SOURCE_DIR}/cmake/module.rc.in ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc @ONLY)

  add_library(${name} MODULE ${GAUGE_SOURCES} ${CMAKE_CURRENT_BINARY_DIR}/${name}.rc $<TARGET_OBJECTS:tarnwix_framework>)
  add_dependencies(${name} ${name}_artwork)
  set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${name}.rc PROPERTIES OBJECT_DEPENDS ${bitmap_script})
  target_include_directories(${name} PRIVATE ${art_dir})
  set_target_properties(${name} PROPERTIES OUTPUT_NAME ${name})
  build_as_gauge_module(${name})
  add_custom_command(TARGET ${name} POST_BUILD
    COMMAND ${CMAKE_COMMAND} -E make_directory ${TARNWIX_DIST_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${name}> ${TARNWIX_DIST_DIR}/
    VERBATIM)
  set_property(GLOBAL APPEND PROPERTY TARNWIX_MODULES ${name})
endfunction()
