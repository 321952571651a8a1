# cmake -DNM=nm -DLIBRARY=lib.so -DEXPECTED=exports.map -P CheckExports.cmake
# Fails unless LIBRARY's defined dynamic symbols are exactly the global names of the version script EXPECTED.
execute_process(COMMAND ${NM} -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^ \n]+\n" lines "${listing}")
set(actual)
foreach(line ${lines})
  string(STRIP "${line}" name)
  list(APPEND actual ${name})
endforeach()
list(SORT actual)

file(READ ${EXPECTED} map)
string(REGEX REPLACE ".*global:(.*)local:.*" "\\1" globals "${map}")
string(REGEX MATCHALL "[A-Za-z_][A-Za-z0-9_]*" expected "${globals}")
list(SORT expected)

if(NOT actual STREQUAL expected)
  message(FATAL_ERROR "exports of ${LIBRARY}:\n  ${actual}\nexpected:\n  ${expected}")
endif()
