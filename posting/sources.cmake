target_sources(tevcore PRIVATE
  ${CMAKE_SOURCE_DIR}/posting/KovraDS.cpp ${CMAKE_SOURCE_DIR}/posting/KovraDS.h
)
