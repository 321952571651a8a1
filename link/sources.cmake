target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/link/SerialClk.cpp ${CMAKE_SOURCE_DIR}/link/SerialClk.h
)
