# cmake -DOBJDUMP=<objdump> -DPROGRAM=<exe> -DALLOWED=<dll,dll,...> -P check_imports.cmake
#
# Fails when PROGRAM's import table names a DLL outside ALLOWED (names without
# ".dll", any case): the loader would search the program's folder for it before
# WinMain runs. The program is removed so that it cannot be shipped or tested.
cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND "${OBJDUMP}" -p "${PROGRAM}" OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${PROGRAM}")
  message(FATAL_ERROR "${OBJDUMP} cannot read ${PROGRAM}")
endif()

string(REPLACE "," ";" allowed "${ALLOWED}")
string(TOLOWER "${allowed}" allowed)
string(REGEX MATCHALL "DLL Name: [^\r\n]+" entries "${dump}")
set(found)
set(refused)
foreach(entry ${entries})
  string(REGEX REPLACE "^DLL Name: " "" dll "${entry}")
  string(STRIP "${dll}" dll)
  string(TOLOWER "${dll}" name)
  string(REGEX REPLACE "\\.dll$" "" name "${name}")
  list(APPEND found "${name}")
  if(NOT name IN_LIST allowed)
    list(APPEND refused "${dll}")
  endif()
endforeach()

if(NOT found)
  file(REMOVE "${PROGRAM}")
  message(FATAL_ERROR "no import table found in ${PROGRAM}")
endif()
if(refused)
  file(REMOVE "${PROGRAM}")
  list(JOIN refused ", " refused)
  message(FATAL_ERROR
    "${PROGRAM} imports ${refused} directly; the loader would look for such a DLL beside the program "
    "before WinMain runs. Delay-load it: see cmake/delayload/delayload.cmake.")
endif()
