# Fails when the Windows workflow's steps and README.md's "Building on Windows" commands differ:
# the workflow must run exactly what a Windows developer is told to run, in the same order.
# Usage: cmake -DREADME=... -DWORKFLOW=... -P check_windows_steps.cmake
include(${CMAKE_CURRENT_LIST_DIR}/readme_section.cmake)
readme_section_matches("${README}" "Building on Windows" "^    ([^ ].*)$" readme_commands)

file(STRINGS "${WORKFLOW}" workflow_lines)
set(workflow_commands "")
foreach(line IN LISTS workflow_lines)
  if(line MATCHES "^ *- run: (.*)$")
    list(APPEND workflow_commands "${CMAKE_MATCH_1}")
  endif()
endforeach()

if(readme_commands STREQUAL "")
  message(FATAL_ERROR "README.md has no commands under \"Building on Windows\"")
endif()
if(NOT readme_commands STREQUAL workflow_commands)
  list(JOIN readme_commands "\n  " readme_text)
  list(JOIN workflow_commands "\n  " workflow_text)
  message(FATAL_ERROR "The Windows workflow and README.md differ.\nREADME.md:\n  ${readme_text}\nworkflow:\n  ${workflow_text}")
endif()
list(LENGTH readme_commands count)
message(STATUS "${count} Windows steps agree")
