# GoogleTest is built from source with the project's own toolchain, so that the test binaries are
# Windows binaries like the program. On Debian the source is /usr/src/googletest; elsewhere pass
# -DGTEST_SOURCE_DIR=..., provide an installed GTest package, or let the build fetch it.
set(GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
# GoogleTest's own project predates the runtime-library setting: let it follow ours (static).
set(CMAKE_POLICY_DEFAULT_CMP0091 NEW)
if(EXISTS "${GTEST_SOURCE_DIR}/CMakeLists.txt")
  add_subdirectory(${GTEST_SOURCE_DIR} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
else()
  find_package(GTest CONFIG QUIET)
  if(NOT GTest_FOUND)
    include(FetchContent)
    FetchContent_Declare(googletest GIT_REPOSITORY https://github.com/google/googletest.git GIT_TAG v1.14.0
                                    GIT_SHALLOW TRUE)
    FetchContent_MakeAvailable(googletest)
  endif()
endif()
