# What each layer may include, checked on the sources: a layer includes only
# the layers below it, a page reaches the window only through its context, and
# no source grows past what a person reads in one go.
cmake_minimum_required(VERSION 3.16)
set(osd "app|connections|settings|transmitter|upgrade|users")
set(checks
    "src/platform src/services|#include \"(database|rules|${osd})/|#include [<\"](ui_|QtGui|QtWidgets|QtXml)"
    "src/database src/rules|#include \"(${osd})/|#include [<\"](ui_|QtGui|QtWidgets)"
    "sim host|#include \"(database|rules|${osd})/"
    "src/connections src/settings src/transmitter src/upgrade src/users|#include \"(app/mainwindow|ui_mainwindow)|MainWindow *[*&]")
set(failures "")
foreach(check ${checks})
  string(REPLACE "|" ";" parts "${check}")
  list(GET parts 0 folders)
  list(REMOVE_AT parts 0)
  string(REPLACE ";" "|" forbidden "${parts}")
  string(REPLACE " " ";" folders "${folders}")
  foreach(folder ${folders})
    file(GLOB files ${SOURCE}/${folder}/*)
    foreach(file ${files})
      file(STRINGS ${file} lines REGEX "${forbidden}")
      foreach(line ${lines})
        string(APPEND failures "${file}: ${line}\n")
      endforeach()
    endforeach()
  endforeach()
endforeach()
file(GLOB_RECURSE sources ${SOURCE}/src/* ${SOURCE}/sim/* ${SOURCE}/host/* ${SOURCE}/tools/* ${SOURCE}/bench/* ${SOURCE}/tests/*.cpp
    ${SOURCE}/tests/support/*)
foreach(file ${sources})
  file(READ ${file} text)
  string(REGEX REPLACE "[^\n]" "" text "${text}")
  string(LENGTH "${text}" count)
  if(count GREATER 800)
    string(APPEND failures "${file}: ${count} lines\n")
  endif()
endforeach()
if(failures)
  message(FATAL_ERROR "${failures}")
endif()
