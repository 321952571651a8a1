target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/polling/TCPIPRecords.cpp ${CMAKE_SOURCE_DIR}/polling/TCPIPRecords.h
)
