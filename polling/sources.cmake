target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/polling/TCPIPRecords.cpp ${CMAKE_SOURCE_DIR}/polling/TCPIPRecords.h
  ${CMAKE_SOURCE_DIR}/polling/PollFiles.cpp ${CMAKE_SOURCE_DIR}/polling/PollFiles.h
)
