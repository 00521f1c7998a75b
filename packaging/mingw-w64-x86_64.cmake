# Cross-compiling for 64-bit Windows with Debian's MinGW-w64 (posix threads
# variant, which GoogleTest needs for std::mutex).
#   cmake -S . -B build-mingw -G Ninja \
#     -DCMAKE_TOOLCHAIN_FILE=packaging/mingw-w64-x86_64.cmake -DTORVANE_CORE_ONLY=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TORVANE_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${TORVANE_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TORVANE_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${TORVANE_MINGW_TRIPLE}-windres)

# Libraries and packages come from the MinGW sysroot and from prefixes given
# in CMAKE_PREFIX_PATH (GoogleTest built with this same file); programs from
# the host.
list(APPEND CMAKE_FIND_ROOT_PATH /usr/${TORVANE_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# No DLLs to carry along: the C and C++ runtimes and winpthread go into each
# executable, so it runs from any folder (and under Wine without a PATH).
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Test programs are Windows executables: ctest runs them through Wine, and
# the test list is read when ctest runs, not while building.
find_program(TORVANE_WINE NAMES wine64 wine PATHS /usr/lib/wine)
if(TORVANE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${TORVANE_WINE})
endif()
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
