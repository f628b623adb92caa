# Writes the release into OUT_DIR (cmake -P, from the `release` target):
#   Tarnwix-Gauges-<VERSION>.zip            Gauges/, Previews/, the guide, panel.cfg
#   Tarnwix-GaugeTools-<VERSION>-win32.zip  the Windows programs, GaugeSound.dll,
#                                           the scenarios with the example panel
#                                           they play on, and their command lines
#   SHA256SUMS                              over both zips
# Every entry has the same fixed time (the commit's, or SOURCE_DATE_EPOCH) and
# mode, the entries are sorted, and nothing of the build machine goes in, so
# two builds of one commit give the same bytes. OUT_DIR is emptied first and
# the zips appear only once everything is written: a failure leaves no zip.
#
# Variables: VERSION SOURCE_DIR DIST_DIR OUT_DIR WORK_DIR RUN (the Windows
# program runner) GUIDE MODULES (comma-separated names) PROGRAMS
# (comma-separated .exe paths) SOUND (GaugeSound.dll) STRIP
cmake_minimum_required(VERSION 3.25)

foreach(variable VERSION SOURCE_DIR DIST_DIR OUT_DIR WORK_DIR RUN GUIDE MODULES PROGRAMS SOUND STRIP)
  if("${${variable}}" STREQUAL "")
    message(FATAL_ERROR "release: ${variable} is not set")
  endif()
endforeach()
string(REPLACE "," ";" MODULES "${MODULES}")
string(REPLACE "," ";" PROGRAMS "${PROGRAMS}")

find_program(ZIP zip)
if(NOT ZIP)
  message(FATAL_ERROR "release: no zip program (run cmake/setup.sh)")
endif()

# The entries' time: SOURCE_DATE_EPOCH, else the commit's time.
set(epoch "$ENV{SOURCE_DATE_EPOCH}")
if(epoch STREQUAL "")
  execute_process(COMMAND git -C ${SOURCE_DIR} log -1 --format=%ct OUTPUT_VARIABLE epoch
                  OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE status ERROR_QUIET)
  if(NOT status EQUAL 0 OR NOT epoch MATCHES "^[0-9]+$")
    message(FATAL_ERROR "release: not a git clone; set SOURCE_DATE_EPOCH to the time the entries should carry")
  endif()
endif()

set(gauges_zip Tarnwix-Gauges-${VERSION}.zip)
set(tools_zip Tarnwix-GaugeTools-${VERSION}-win32.zip)
file(REMOVE_RECURSE ${OUT_DIR} ${WORK_DIR})
file(MAKE_DIRECTORY ${OUT_DIR} ${WORK_DIR}/gauges/Gauges ${WORK_DIR}/gauges/Previews ${WORK_DIR}/tools/scenarios)

function(copy_into folder)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "release: ${file} is missing (did the build fail?)")
    endif()
    file(COPY ${file} DESTINATION ${folder})
  endforeach()
endfunction()

# The gauges: the very files of dist/, each one's preview, and the guide and
# sample panel.cfg written from those files.
foreach(module IN LISTS MODULES)
  copy_into(${WORK_DIR}/gauges/Gauges ${DIST_DIR}/${module}.gau)
  copy_into(${WORK_DIR}/gauges/Previews ${DIST_DIR}/preview/${module}.png)
endforeach()
execute_process(COMMAND ${RUN} ${GUIDE} --version ${VERSION} --out ${WORK_DIR}/gauges ${WORK_DIR}/gauges/Gauges
                RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "release: the guide could not be written")
endif()

# The tools: the programs and the stand-in sound library without the
# runtime's debugging sections (stripped with a fixed time, which strip
# would otherwise write into the header), the scenarios and how to run them.
foreach(program IN LISTS PROGRAMS SOUND)
  if(NOT EXISTS ${program})
    message(FATAL_ERROR "release: ${program} is missing (did the build fail?)")
  endif()
  get_filename_component(name ${program} NAME)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env SOURCE_DATE_EPOCH=0 ${STRIP} -o ${WORK_DIR}/tools/${name} ${program}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "release: cannot strip ${program}")
  endif()
endforeach()
# Text files go in with Windows line ends, every line, for Notepad.
function(copy_text_into folder)
  foreach(file IN LISTS ARGN)
    if(NOT EXISTS ${file})
      message(FATAL_ERROR "release: ${file} is missing (did the build fail?)")
    endif()
    get_filename_component(name ${file} NAME)
    file(READ ${file} text)
    string(REPLACE "\r\n" "\n" text "${text}")
    string(REPLACE "\n" "\r\n" text "${text}")
    file(WRITE ${folder}/${name} "${text}")
  endforeach()
endfunction()

file(GLOB scenarios ${SOURCE_DIR}/scenarios/*.txt)
copy_text_into(${WORK_DIR}/tools/scenarios ${scenarios})
# The example panel goes beside the scenarios, where a scenario's panel
# line finds it first.
file(MAKE_DIRECTORY ${WORK_DIR}/tools/scenarios/example_panel)
copy_text_into(${WORK_DIR}/tools/scenarios/example_panel ${DIST_DIR}/example_panel/panel.cfg)
copy_into(${WORK_DIR}/tools/scenarios/example_panel ${DIST_DIR}/example_panel/background.bmp)
# The scenarios' names for the text, in lines of at most 78 columns.
set(names "")
foreach(scenario IN LISTS scenarios)
  get_filename_component(name ${scenario} NAME_WE)
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(SCENARIO_NAMES "")
set(line " ")
foreach(name IN LISTS names)
  string(LENGTH "${line} ${name}," width)
  if(width GREATER 78)
    string(APPEND SCENARIO_NAMES "${line}\n")
    set(line " ")
  endif()
  string(APPEND line " ${name},")
endforeach()
string(REGEX REPLACE ",$" "" line "${line}")
string(APPEND SCENARIO_NAMES "${line}")
# The title's underline as long as the title with its version.
string(LENGTH "Tarnwix gauge tools ${VERSION} for Windows" title_width)
string(REPEAT "=" ${title_width} TITLE_UNDERLINE)
# Configured as it is, then given Windows line ends on every line, those of
# the wrapped list of scenarios too.
configure_file(${CMAKE_CURRENT_LIST_DIR}/release-tools.txt.in ${WORK_DIR}/text/Tarnwix-GaugeTools.txt @ONLY)
copy_text_into(${WORK_DIR}/tools ${WORK_DIR}/text/Tarnwix-GaugeTools.txt)

# Zips FOLDER's files, sorted, with one mode and one time, into ZIP_PATH.
function(write_zip folder zip_path)
  file(GLOB_RECURSE entries RELATIVE ${folder} ${folder}/*)
  list(SORT entries)
  string(REPLACE ";" "\n" listing "${entries}")
  file(WRITE ${folder}.list "${listing}\n")
  foreach(entry IN LISTS entries)
    file(CHMOD ${folder}/${entry} PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)
  endforeach()
  execute_process(COMMAND touch -h -d @${epoch} ${entries} WORKING_DIRECTORY ${folder} RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "release: cannot set the entries' time")
  endif()
  # -X: no owner or extra times; -D: no folder entries; the zip's times are
  # local, so the zone is fixed.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env TZ=UTC ${ZIP} -X -D -q -9 ${zip_path} -@
                  WORKING_DIRECTORY ${folder} INPUT_FILE ${folder}.list RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "release: zip failed on ${folder}")
  endif()
endfunction()

write_zip(${WORK_DIR}/gauges ${WORK_DIR}/${gauges_zip})
write_zip(${WORK_DIR}/tools ${WORK_DIR}/${tools_zip})
set(sums "")
foreach(zip ${gauges_zip} ${tools_zip})
  file(SHA256 ${WORK_DIR}/${zip} hash)
  string(APPEND sums "${hash}  ${zip}\n")
endforeach()
file(WRITE ${WORK_DIR}/SHA256SUMS "${sums}")
foreach(file ${gauges_zip} ${tools_zip} SHA256SUMS)
  file(RENAME ${WORK_DIR}/${file} ${OUT_DIR}/${file})
endforeach()
message(STATUS "Release ${VERSION}: ${OUT_DIR}/")
foreach(file ${gauges_zip} ${tools_zip} SHA256SUMS)
  message(STATUS "  ${file}")
endforeach()
