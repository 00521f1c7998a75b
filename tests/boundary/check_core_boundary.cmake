# Compiles one-line probes with nothing but the core's include directory:
# every header of the core compiles on its own, and no header of a front end,
# of the simulator or of Qt resolves.
#   cmake -DCXX=<compiler> -DCORE_INCLUDE=<dir> -DSOURCE=<tree> -DWORK=<dir> -P check_core_boundary.cmake
cmake_minimum_required(VERSION 3.25)

function(probe include expect)
  string(MAKE_C_IDENTIFIER "${include}" name)
  set(file ${WORK}/probe_${name}.cpp)
  file(WRITE ${file} "#include ${include}\n")
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only -I${CORE_INCLUDE} ${file}
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(expect STREQUAL "compiles" AND NOT rc EQUAL 0)
    message(SEND_ERROR "${include} should compile with the core's include directory alone:\n${err}")
  elseif(expect STREQUAL "unresolved" AND (rc EQUAL 0 OR NOT err MATCHES "No such file"))
    message(SEND_ERROR "${include} should not resolve from the core (exit ${rc}):\n${err}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${WORK})
file(GLOB_RECURSE core_headers FOLLOW_SYMLINKS RELATIVE ${CORE_INCLUDE} ${CORE_INCLUDE}/*.h)
if(NOT core_headers)
  message(FATAL_ERROR "no core headers below ${CORE_INCLUDE}")
endif()
foreach(header IN LISTS core_headers)
  probe("\"${header}\"" compiles)
endforeach()
file(GLOB outside RELATIVE ${SOURCE} ${SOURCE}/app/*.h ${SOURCE}/serial/*.h ${SOURCE}/sim/*.h)
foreach(header IN LISTS outside)
  probe("\"${header}\"" unresolved)
endforeach()
foreach(header <QString> <QtCore/QObject> <QSerialPort> <QtWidgets/QWidget>)
  probe("${header}" unresolved)
endforeach()
