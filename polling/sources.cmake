target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/polling/TCPIPRecords.cpp ${CMAKE_SOURCE_DIR}/polling/TCPIPRecords.h
  ${CMAKE_SOURCE_DIR}/polling/TCPIPPoll.cpp ${CMAKE_SOURCE_DIR}/polling/TCPIPPoll.h
  ${CMAKE_SOURCE_DIR}/polling/frmPollTCPIP.cpp ${CMAKE_SOURCE_DIR}/polling/frmPollTCPIP.h
  ${CMAKE_SOURCE_DIR}/polling/PollFiles.cpp ${CMAKE_SOURCE_DIR}/polling/PollFiles.h
  ${CMAKE_SOURCE_DIR}/polling/PollSerial.cpp ${CMAKE_SOURCE_DIR}/polling/PollSerial.h
  ${CMAKE_SOURCE_DIR}/polling/PollSerialOnce.cpp
  ${CMAKE_SOURCE_DIR}/polling/PollContinuous.cpp
  ${CMAKE_SOURCE_DIR}/polling/ContPollFile.cpp
  ${CMAKE_SOURCE_DIR}/polling/frmPollSerial.cpp ${CMAKE_SOURCE_DIR}/polling/frmPollSerial.h
)
