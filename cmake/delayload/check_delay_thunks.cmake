# cmake -DNM=<nm> -DPROGRAM=<exe> -DTHUNKS=<symbol,symbol,...> -P check_delay_thunks.cmake
#
# Fails when a delay-load thunk of PROGRAM is missing or was resolved to the
# absolute address 0: its import slot would then hold 0 and the first call of
# the function would jump there. Runs on the program before it is stripped.
# The program is removed so that it cannot be shipped or tested.
cmake_minimum_required(VERSION 3.20)

execute_process(COMMAND "${NM}" "${PROGRAM}" OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  file(REMOVE "${PROGRAM}")
  message(FATAL_ERROR "${NM} cannot read the symbols of ${PROGRAM}")
endif()

string(REPLACE "," ";" thunks "${THUNKS}")
set(broken)
foreach(thunk ${thunks})
  string(REGEX MATCH "\n[0-9a-fA-F]+ [TtAa] ${thunk}\n" entry "\n${symbols}")
  if(NOT entry OR entry MATCHES "^\n0+ [Aa] ")
    list(APPEND broken "${thunk}")
  endif()
endforeach()
if(broken)
  file(REMOVE "${PROGRAM}")
  list(JOIN broken ", " broken)
  message(FATAL_ERROR
    "${PROGRAM}: the delay-load thunks ${broken} are missing or at address 0; their first call would "
    "jump to 0. See cmake/delayload/delayload.cmake.")
endif()
