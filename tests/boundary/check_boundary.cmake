# Compiles one-line probes with nothing but a library's include directories
# (its own tree of folder links and those of the libraries it uses): every
# header of its own folders compiles on its own, no header of a folder it
# may not use resolves, and no Qt header resolves (the Qt-free libraries).
#   cmake -DCXX=<compiler> -DLIBRARY=<name> -DINCLUDES=<dir|dir|...> -DSOURCE=<tree>
#         -DWORK=<dir> -DQT_FREE=ON|OFF -P check_boundary.cmake
cmake_minimum_required(VERSION 3.25)

set(kFolders app cli check context discovery encoding eventloop form image link record run serial sim station win32)

string(REPLACE "|" ";" includes "${INCLUDES}")
set(flags "")
set(allowed "")
foreach(dir IN LISTS includes)
  list(APPEND flags -I${dir})
  file(GLOB entries RELATIVE ${dir} ${dir}/*)
  list(APPEND allowed ${entries})
endforeach()

function(probe include expect)
  string(MAKE_C_IDENTIFIER "${LIBRARY}_${include}" name)
  set(file ${WORK}/probe_${name}.cpp)
  file(WRITE ${file} "#include ${include}\n")
  execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${flags} ${file}
                  RESULT_VARIABLE rc ERROR_VARIABLE err OUTPUT_QUIET)
  if(expect STREQUAL "compiles" AND NOT rc EQUAL 0)
    message(SEND_ERROR "${include} should compile for ${LIBRARY} with its include directories alone:\n${err}")
  elseif(expect STREQUAL "unresolved" AND (rc EQUAL 0 OR NOT err MATCHES "No such file"))
    message(SEND_ERROR "${include} should not resolve for ${LIBRARY} (exit ${rc}):\n${err}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${WORK})
set(own "${CMAKE_MATCH_0}")
list(GET includes 0 ownTree)
file(GLOB ownFolders RELATIVE ${ownTree} ${ownTree}/*)
if(NOT ownFolders)
  message(FATAL_ERROR "no folders below ${ownTree}")
endif()
foreach(folder IN LISTS ownFolders)
  file(GLOB headers RELATIVE ${SOURCE} ${SOURCE}/${folder}/*.h)
  foreach(header IN LISTS headers)
    if(NOT header MATCHES "/qt_")  # the Qt adapters of a folder need Qt
      probe("\"${header}\"" compiles)
    endif()
  endforeach()
endforeach()
foreach(folder IN LISTS kFolders)
  if(NOT folder IN_LIST allowed)
    file(GLOB headers RELATIVE ${SOURCE} ${SOURCE}/${folder}/*.h)
    foreach(header IN LISTS headers)
      probe("\"${header}\"" unresolved)
    endforeach()
  endif()
endforeach()
if(QT_FREE)
  foreach(header <QString> <QtCore/QObject> <QSerialPort> <QtWidgets/QWidget>)
    probe("${header}" unresolved)
  endforeach()
endif()
