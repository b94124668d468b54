# The second compiler: Debian's clang for Windows x64, on the mingw-w64 headers, C++ library and
# linker that the main toolchain uses.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_CXX_COMPILER_TARGET ${MINGW_PREFIX})
set(CMAKE_RC_COMPILER ${MINGW_PREFIX}-windres)

# clang finds the mingw-w64 C library but not the posix-threads GCC's C++ library: point it there.
execute_process(COMMAND ${MINGW_PREFIX}-g++-posix -print-libgcc-file-name OUTPUT_VARIABLE libgcc
                OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
get_filename_component(gcc_dir "${libgcc}" DIRECTORY)
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -isystem ${gcc_dir}/include/c++ -isystem ${gcc_dir}/include/c++/${MINGW_PREFIX}")
string(APPEND CMAKE_CXX_FLAGS_INIT " -isystem ${gcc_dir}/include/c++/backward")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-L${gcc_dir} -pthread -Wno-unused-command-line-argument")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-L${gcc_dir} -pthread -Wno-unused-command-line-argument")

set(CMAKE_FIND_ROOT_PATH /usr/${MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
