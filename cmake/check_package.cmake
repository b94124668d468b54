cmake_minimum_required(VERSION 3.20)
# Builds the release ZIP and checks it: exactly the files README.md lists under "Release package",
# binaries that import system DLLs only (when OBJDUMP is given), and binaries whose version
# resource names them and the release's version (when WINDRES is given).
# Parameters: CPACK, BUILD (the build folder), CONFIG, README, OBJDUMP and WINDRES (optional),
# IMPORTS_SCRIPT, VERSION.
execute_process(COMMAND ${CPACK} -G ZIP -C ${CONFIG} WORKING_DIRECTORY ${BUILD} RESULT_VARIABLE status
                OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cpack failed:\n${output}")
endif()
file(GLOB packages ${BUILD}/package/*.zip)
list(LENGTH packages count)
if(NOT count EQUAL 1)
  message(FATAL_ERROR "expected one ZIP in ${BUILD}/package, found: ${packages}")
endif()

set(unpacked ${BUILD}/package/unpacked)
file(REMOVE_RECURSE ${unpacked})
file(ARCHIVE_EXTRACT INPUT ${packages} DESTINATION ${unpacked})
file(GLOB top RELATIVE ${unpacked} ${unpacked}/*)
get_filename_component(expected_top ${packages} NAME)
string(REGEX REPLACE "\\.zip$" "" expected_top "${expected_top}")
if(NOT top STREQUAL expected_top)
  message(FATAL_ERROR "the ZIP must hold one folder ${expected_top}, it holds: ${top}")
endif()
file(GLOB_RECURSE found RELATIVE ${unpacked}/${top} ${unpacked}/${top}/*)
list(SORT found)

# The README's table rows under the heading: | `path` | what it is |
include(${CMAKE_CURRENT_LIST_DIR}/readme_section.cmake)
readme_section_matches(${README} "Release package" "^\\| `([^`]+)` \\|" listed)
list(SORT listed)
if(NOT found STREQUAL listed)
  message(FATAL_ERROR "the ZIP holds:\n  ${found}\nREADME.md lists:\n  ${listed}")
endif()
message(STATUS "${packages}: ${count} package, files as README.md lists them: ${found}")

if(OBJDUMP)
  set(binaries)
  foreach(file IN LISTS found)
    if(file MATCHES "\\.(exe|dll)$")
      list(APPEND binaries ${unpacked}/${top}/${file})
    endif()
  endforeach()
  string(REPLACE ";" "|" binaries "${binaries}")
  execute_process(COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${OBJDUMP} -DBINARIES=${binaries} -P ${IMPORTS_SCRIPT}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "a packaged binary imports a DLL that is not a system DLL")
  endif()
endif()

if(WINDRES)
  foreach(file IN LISTS found)
    if(NOT file MATCHES "\\.(exe|dll)$")
      continue()
    endif()
    get_filename_component(name ${file} NAME)
    execute_process(COMMAND ${WINDRES} -i ${unpacked}/${top}/${file} -O rc OUTPUT_VARIABLE resources
                    ERROR_VARIABLE resources)
    foreach(value "\"FileVersion\", \"${VERSION}\"" "\"ProductVersion\", \"${VERSION}\""
                  "\"OriginalFilename\", \"${name}\"" "\"ProductName\", \"VANTORQ-MIRAsee\"")
      string(FIND "${resources}" "VALUE ${value}" at)
      if(at EQUAL -1)
        message(FATAL_ERROR "${file}: its version resource lacks ${value}")
      endif()
    endforeach()
  endforeach()
  message(STATUS "every binary's version resource names it and version ${VERSION}")
endif()
