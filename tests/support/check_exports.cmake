# SPDX-License-Identifier: Apache-2.0
# Compares the defined dynamic symbols of LIBRARY with the functions it must
# export: EXPECTED (a list) where given, else those HEADER declares with
# ORVAVARS_CALL, at least MINIMUM of them, so that a header the pattern no
# longer matches cannot pass with an empty list.
find_program(NM nm REQUIRED)
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY} OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${out}")
set(found "")
foreach(line IN LISTS lines)
  if(line MATCHES "^[0-9a-fA-F]+ ([A-Za-z]) ([^@ ]+)")
    if(NOT CMAKE_MATCH_1 STREQUAL "A")  # version node names are no symbols
      list(APPEND found ${CMAKE_MATCH_2})
    endif()
  endif()
endforeach()
list(SORT found)

if(NOT DEFINED EXPECTED)
  file(READ ${HEADER} header)
  string(REGEX MATCHALL "ORVAVARS_CALL (ORVAVars[A-Za-z]+)\\(" calls "${header}")
  set(EXPECTED "")
  foreach(call IN LISTS calls)
    string(REGEX REPLACE "ORVAVARS_CALL (ORVAVars[A-Za-z]+)\\(" "\\1" name "${call}")
    list(APPEND EXPECTED ${name})
  endforeach()
endif()
list(SORT EXPECTED)
list(LENGTH EXPECTED count)
if(DEFINED MINIMUM AND count LESS MINIMUM)
  message(FATAL_ERROR "only ${count} functions expected (at least ${MINIMUM}): ${EXPECTED}")
endif()
if(NOT found STREQUAL EXPECTED)
  message(FATAL_ERROR "exported: ${found}\nexpected: ${EXPECTED}")
endif()
message(STATUS "exports: ${found}")
