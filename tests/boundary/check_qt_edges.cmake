# No source outside app/, eventloop/, station/, tests/, bench/ and packaging/,
# and no file but those named qt_*, includes a Qt header.
#   cmake -DSOURCE=<tree> -P check_qt_edges.cmake
cmake_minimum_required(VERSION 3.25)

file(GLOB_RECURSE sources RELATIVE ${SOURCE} ${SOURCE}/*.h ${SOURCE}/*.cpp)
set(offenders "")
foreach(source IN LISTS sources)
  if(source MATCHES "^(app|eventloop|station|tests|bench|packaging|build[^/]*)/" OR source MATCHES "(^|/)qt_[^/]*$")
    continue()
  endif()
  file(STRINGS ${SOURCE}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*<Q")
  if(lines)
    list(APPEND offenders "${source}: ${lines}")
  endif()
endforeach()
if(offenders)
  string(REPLACE ";" "\n" text "${offenders}")
  message(FATAL_ERROR "Qt headers outside the edges:\n${text}")
endif()
