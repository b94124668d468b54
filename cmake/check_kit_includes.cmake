# Fails when a file of the kit (KIT, its folder) includes anything of the program's folders: the kit
# shares base/ with the program and nothing else.
file(GLOB_RECURSE sources "${KIT}/*.cpp" "${KIT}/*.h" "${KIT}/*.rc")
set(offending "")
foreach(source IN LISTS sources)
  file(STRINGS "${source}" lines REGEX "^[ \t]*#[ \t]*include[ \t]*\"(app|capture|controls|devices|res)/")
  foreach(line IN LISTS lines)
    list(APPEND offending "${source}: ${line}")
  endforeach()
endforeach()
if(offending)
  list(JOIN offending "\n" report)
  message(FATAL_ERROR "The kit includes the program's headers:\n${report}")
endif()
