# GoogleTest is built from source with the project's own toolchain, so that the test binaries are
# Windows binaries like the program. On Debian the source is /usr/src/googletest; elsewhere pass
# -DGTEST_SOURCE_DIR=... or provide an installed GTest package.
set(GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
if(EXISTS "${GTEST_SOURCE_DIR}/CMakeLists.txt")
  set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest CONFIG REQUIRED)
endif()
