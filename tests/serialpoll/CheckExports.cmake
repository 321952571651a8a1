# Fails unless the library defines exactly the eight exported functions.
execute_process(COMMAND nm -D --defined-only ${LIBRARY}
  OUTPUT_VARIABLE listing RESULT_VARIABLE failed)
if(failed)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()
string(REGEX MATCHALL "[^\n]+" lines "${listing}")
set(names)
foreach(line IN LISTS lines)
  string(REGEX REPLACE "^.* " "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(SORT names)
set(expected CloseComm DownloadTimeClock InitComPort PollTimeClock SendAckTimeClock
             SendMsgTimeClock SendNakTimeClock SetTimeClock)
if(NOT names STREQUAL expected)
  message(FATAL_ERROR "exports: ${names}\nexpected: ${expected}")
endif()
